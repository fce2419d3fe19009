// A hook library for the end-to-end tests under Wine. The test helper installs its one
// routine as a global CBT hook (nocunzip_wine_helper watch --refuse-window): every window of
// the class InetUnzip then fails to be created, as when the system refuses it, so that the
// test sees how the program reports a window that it cannot create. Other windows, the
// program's message boxes among them, are created as usual.
#include <windows.h>

#include <cwchar>

extern "C" __declspec(dllexport) LRESULT CALLBACK
    RefuseInetUnzip(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_CREATEWND) {
    wchar_t name[32] = {};
    if (GetClassNameW(reinterpret_cast<HWND>(wparam), name, 32) > 0 &&
        std::wcscmp(name, L"InetUnzip") == 0)
      return 1;  // CreateWindowEx returns NULL
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}
