// A Win32 test helper for the end-to-end tests under Wine: it plays the user who watches
// the program's window and answers its message boxes, and it reports what it saw with
// Win32 calls, one "key=value" line each (UTF-8), for the test script to check.
//
//   nocunzip_wine_helper watch [--timeout MS] [--cwd DIR] [--press TITLE=BUTTON]...
//                              [--close-window] [--refuse-window]
//                              (--command-file FILE | -- COMMAND LINE)
//       Starts the command line exactly as written (the UTF-8 text of FILE, or the rest of
//       the helper's own command line after " -- "), notes the window InetUnzip when it first shows
//       (caption, client size, position, frame, labels), and answers the message boxes of that
//       process in the given order: BUTTON is OK, Yes, No, Cancel or Close (closes the box). A box
//       that was not expected is noted and closed; --hold-ms waits that long before
//       answering a box. --close-window closes the window with its close box as soon as it
//       shows, instead of noting it; --refuse-window makes the system refuse to create it
//       (nocunzip_refuse_window.dll beside the helper, as a global hook). Ends with the
//       program's exit status.
//   nocunzip_wine_helper kill-mid-entry --directory DIR --bytes N [--timeout MS]
//                                       (--command-file FILE | -- COMMAND LINE)
//       Starts the command line like watch, waits until a file being written in DIR (a
//       hidden ".unzip32-*" name) has at least N bytes and ends the process there with
//       TerminateProcess, as the task manager does. Reports the size it saw and the exit
//       status; "ended=yes" when the program ended on its own first.
//   nocunzip_wine_helper overwrite ARCHIVE TARGET
//       Unpacks ARCHIVE into TARGET through UnzipFiles and unzip32.dll with the overwrite
//       question switched on (PromptOverwrite on, OverWriteFiles off); the exit status is
//       the library's result.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "unzip/unzip_files.h"

namespace {

using Clock = std::chrono::steady_clock;

const wchar_t kWindowClass[] = L"InetUnzip";
const wchar_t kBoxClass[] = L"#32770";
constexpr int kBoxTextId = 0xFFFF;
// The icon control of a message box: 0x14 on Windows, 0x440 in Wine's box.
constexpr int kBoxIconIds[] = {0x14, 0x440};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), needed,
                      nullptr, nullptr);
  return bytes;
}

// Line breaks written as \r and \n, so that every fact stays on its line.
std::string Escaped(const std::wstring& text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

void Fact(const std::string& key, const std::string& value) {
  std::string line = key + "=" + value + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

std::wstring TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct WindowSearch {
  DWORD process;
  const wchar_t* window_class;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process && IsWindowVisible(window) &&
      ClassOf(window) == search->window_class)
    search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindowsOf(DWORD process, const wchar_t* window_class) {
  WindowSearch search{process, window_class, {}};
  EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

std::string Rect(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

// The images of icon 1 in the window's program file, as WIDTHxHEIGHTxCOLOURS each.
std::string FileIcons(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (!process) return "no process";
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  const BOOL named = QueryFullProcessImageNameW(process, 0, path, &size);
  CloseHandle(process);
  if (!named) return "no file";
  HMODULE file = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!file) return "unreadable";
  std::string images;
  HRSRC group = FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  const auto* directory =
      group ? static_cast<const BYTE*>(LockResource(LoadResource(file, group))) : nullptr;
  if (directory) {
    // GRPICONDIR: reserved, type, count; then 14-byte entries: width, height, colours, ...
    const int count = directory[4] | (directory[5] << 8);
    for (int i = 0; i < count; ++i) {
      const BYTE* entry = directory + 6 + 14 * i;
      if (!images.empty()) images += ",";
      images += std::to_string(entry[0] ? entry[0] : 256) + "x" +
                std::to_string(entry[1] ? entry[1] : 256) + "x" + std::to_string(entry[2]);
    }
  }
  FreeLibrary(file);
  return images.empty() ? "none" : images;
}

void ReportWindow(HWND window) {
  Fact("window.caption", Escaped(TextOf(window)));
  RECT client{}, outer{};
  GetClientRect(window, &client);
  GetWindowRect(window, &outer);
  Fact("window.client", std::to_string(client.right) + "x" + std::to_string(client.bottom));
  Fact("window.rect", Rect(outer));
  Fact("window.screen", std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                            std::to_string(GetSystemMetrics(SM_CYSCREEN)));
  HDC screen = GetDC(nullptr);
  Fact("window.dpi", std::to_string(GetDeviceCaps(screen, LOGPIXELSX)) + "x" +
                         std::to_string(GetDeviceCaps(screen, LOGPIXELSY)));
  ReleaseDC(nullptr, screen);

  const LONG style = GetWindowLongW(window, GWL_STYLE);
  const LONG ex_style = GetWindowLongW(window, GWL_EXSTYLE);
  std::string frame;
  auto flag = [&](bool on, const char* name) {
    if (!on) return;
    if (!frame.empty()) frame += ",";
    frame += name;
  };
  flag((style & WS_CAPTION) == WS_CAPTION, "caption");
  flag(style & WS_SYSMENU, "sysmenu");
  flag(style & WS_THICKFRAME, "sizable");
  flag(style & WS_MINIMIZEBOX, "minimize");
  flag(style & WS_MAXIMIZEBOX, "maximize");
  flag(ex_style & WS_EX_DLGMODALFRAME, "dialogframe");
  Fact("window.frame", frame);
  Fact("window.file_icons", FileIcons(window));

  const std::vector<HWND> labels = ChildrenOf(window);
  Fact("window.labels", std::to_string(labels.size()));
  for (size_t i = 0; i < labels.size(); ++i) {
    RECT box{};
    GetWindowRect(labels[i], &box);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&box), 2);
    const LONG label_style = GetWindowLongW(labels[i], GWL_STYLE);
    const std::string prefix = "window.label" + std::to_string(i + 1);
    Fact(prefix + ".text", Escaped(TextOf(labels[i])));
    Fact(prefix + ".class", Utf8(ClassOf(labels[i])));
    Fact(prefix + ".rect", Rect(box));
    Fact(prefix + ".centred", (label_style & SS_TYPEMASK) == SS_CENTER ? "yes" : "no");
  }
}

struct Press {
  std::wstring title;
  std::wstring button;
};

int ButtonId(const std::wstring& name) {
  if (name == L"OK") return IDOK;
  if (name == L"Cancel") return IDCANCEL;
  if (name == L"Yes") return IDYES;
  if (name == L"No") return IDNO;
  return 0;  // Close
}

// The 32-bit pixels of a `width` x `height` bitmap selected into `dc`.
std::string PixelsOf(HDC dc, HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::string pixels(static_cast<size_t>(width) * height * 4, '\0');
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0;  // no alpha on the screen
  return pixels;
}

// What the screen shows in `area`, or what `icon` looks like drawn on the dialog colour.
std::string Picture(const RECT& area, HICON icon) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  if (icon) {
    RECT all{0, 0, width, height};
    FillRect(memory, &all, GetSysColorBrush(COLOR_3DFACE));
    DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
  } else {
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  }
  SelectObject(memory, old);
  std::string pixels = PixelsOf(memory, bitmap, width, height);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Which of the system's icons a message box shows, told apart by what the screen shows:
// an icon handle of another process cannot be read here.
std::string IconOf(HWND box) {
  HWND icon = nullptr;
  for (int id : kBoxIconIds)
    if (!icon) icon = GetDlgItem(box, id);
  if (!icon || !IsWindowVisible(icon)) return "none";
  DWORD_PTR handle = 0;
  SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &handle);
  if (!handle) return "none";
  RECT area{};
  GetWindowRect(icon, &area);
  if (area.right <= area.left || area.bottom <= area.top) return "none";
  // The box paints itself right after it shows.
  Sleep(150);
  RedrawWindow(box, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  const std::string shown = Picture(area, nullptr);
  const struct {
    int id;
    const char* name;
  } known[] = {
      {32516, "information"}, {32515, "exclamation"}, {32513, "error"}, {32514, "question"}};
  for (const auto& k : known)
    if (shown == Picture(area, LoadIconW(nullptr, MAKEINTRESOURCEW(k.id)))) return k.name;
  return "other";
}

void ReportBox(HWND box, int number, DWORD program_thread, HWND program_window, double seen_ms) {
  const std::string prefix = "box" + std::to_string(number);
  Fact(prefix + ".title", Escaped(TextOf(box)));
  RECT outer{};
  GetWindowRect(box, &outer);
  Fact(prefix + ".rect", Rect(outer));
  wchar_t text[4096] = {};
  GetDlgItemTextW(box, kBoxTextId, text, 4096);
  Fact(prefix + ".text", Escaped(text));
  std::string buttons, default_button;
  const struct {
    int id;
    const char* name;
  } all[] = {{IDOK, "OK"},       {IDYES, "Yes"},     {IDNO, "No"},        {IDCANCEL, "Cancel"},
             {IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
  for (const auto& b : all) {
    HWND button = GetDlgItem(box, b.id);
    if (!button || !IsWindowVisible(button)) continue;
    if (!buttons.empty()) buttons += ",";
    buttons += b.name;
    if ((GetWindowLongW(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) default_button = b.name;
  }
  Fact(prefix + ".buttons", buttons);
  Fact(prefix + ".default", default_button);
  Fact(prefix + ".icon", IconOf(box));
  HWND owner = GetWindow(box, GW_OWNER);
  Fact(prefix + ".owner", !owner                    ? "none"
                          : owner == program_window ? "InetUnzip"
                                                    : Utf8(ClassOf(owner)));
  Fact(prefix + ".modal_thread",
       GetWindowThreadProcessId(box, nullptr) == program_thread ? "program" : "other");
  char when[32];
  snprintf(when, sizeof when, "%.1f", seen_ms);
  Fact(prefix + ".seen_ms", when);
}

// The text after " -- " on the helper's own command line, exactly as written.
std::wstring CommandAfterSeparator() {
  const std::wstring line = GetCommandLineW();
  const size_t at = line.find(L" -- ");
  return at == std::wstring::npos ? std::wstring() : line.substr(at + 4);
}

// The UTF-8 text of `path` without the line break at its end.
std::wstring ReadCommandFile(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::wstring();
  std::string bytes(65536, '\0');
  DWORD got = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  bytes.resize(got);
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
  if (bytes.empty()) return std::wstring();
  const int needed =
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                      needed);
  return text;
}

// A global CBT hook from nocunzip_refuse_window.dll beside the helper, which makes every
// creation of a window of the class InetUnzip fail while it is set.
class WindowRefusal {
 public:
  WindowRefusal() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring library = path;
    library = library.substr(0, library.rfind(L'\\') + 1) + L"nocunzip_refuse_window.dll";
    module_ = LoadLibraryW(library.c_str());
    const auto refuse = module_ ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                      GetProcAddress(module_, "RefuseInetUnzip")))
                                : nullptr;
    if (refuse) hook_ = SetWindowsHookExW(WH_CBT, refuse, module_, 0);
    error_ = hook_ ? 0 : GetLastError();
  }
  ~WindowRefusal() {
    if (hook_) UnhookWindowsHookEx(hook_);
    if (module_) FreeLibrary(module_);
  }
  WindowRefusal(const WindowRefusal&) = delete;
  WindowRefusal& operator=(const WindowRefusal&) = delete;

  std::string State() const { return hook_ ? "set" : "failed: " + std::to_string(error_); }

 private:
  HMODULE module_ = nullptr;
  HHOOK hook_ = nullptr;
  DWORD error_ = 0;
};

int Watch(const std::vector<std::wstring>& args) {
  int timeout_ms = 20000;
  int hold_ms = 0;
  bool close_window = false, refuse_window = false;
  std::vector<Press> presses;
  std::wstring command, directory;
  for (size_t i = 0; i < args.size() && args[i] != L"--"; ++i) {
    if (args[i] == L"--timeout" && i + 1 < args.size()) {
      timeout_ms = _wtoi(args[++i].c_str());
    } else if (args[i] == L"--hold-ms" && i + 1 < args.size()) {
      hold_ms = _wtoi(args[++i].c_str());
    } else if (args[i] == L"--close-window") {
      close_window = true;
    } else if (args[i] == L"--refuse-window") {
      refuse_window = true;
    } else if (args[i] == L"--cwd" && i + 1 < args.size()) {
      directory = args[++i];
    } else if (args[i] == L"--command-file" && i + 1 < args.size()) {
      command = ReadCommandFile(args[++i]);
    } else if (args[i] == L"--press" && i + 1 < args.size()) {
      const std::wstring press = args[++i];
      const size_t eq = press.rfind(L'=');
      if (eq == std::wstring::npos) return 2;
      presses.push_back({press.substr(0, eq), press.substr(eq + 1)});
    }
  }
  if (command.empty()) command = CommandAfterSeparator();
  if (command.empty()) {
    Fact("error", "no command line after --");
    return 2;
  }

  std::unique_ptr<WindowRefusal> refusal;
  if (refuse_window) {
    refusal = std::make_unique<WindowRefusal>();
    Fact("hook", refusal->State());
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const Clock::time_point start = Clock::now();
  auto ms_since_start = [&] {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    Fact("error", "cannot start the program: " + std::to_string(GetLastError()));
    return 2;
  }
  Fact("command", Escaped(command));

  HWND window = nullptr;
  double last_unseen_ms = 0;
  size_t next_press = 0;
  int boxes = 0;
  std::vector<HWND> answered;
  bool timed_out = false;
  for (;;) {
    const bool ended = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    if (!window) {
      const std::vector<HWND> windows = TopLevelWindowsOf(process.dwProcessId, kWindowClass);
      if (windows.empty()) {
        last_unseen_ms = ms_since_start();
      } else {
        window = windows.front();
        char when[32];
        snprintf(when, sizeof when, "%.1f", last_unseen_ms);
        Fact("window.last_unseen_ms", when);
        snprintf(when, sizeof when, "%.1f", ms_since_start());
        Fact("window.seen_ms", when);
        if (close_window) {
          // As the user does with the close box of the title bar.
          PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
          snprintf(when, sizeof when, "%.1f", ms_since_start());
          Fact("window.closed_ms", when);
        } else {
          ReportWindow(window);
        }
      }
    }
    for (HWND box : TopLevelWindowsOf(process.dwProcessId, kBoxClass)) {
      bool known = false;
      for (HWND done : answered) known = known || done == box;
      if (known) continue;
      answered.push_back(box);
      ReportBox(box, ++boxes, process.dwThreadId, window, ms_since_start());
      const std::wstring title = TextOf(box);
      int button = 0;
      if (next_press < presses.size() && presses[next_press].title == title) {
        button = ButtonId(presses[next_press].button);
        Fact("box" + std::to_string(boxes) + ".pressed", Utf8(presses[next_press].button));
        ++next_press;
      } else {
        Fact("box" + std::to_string(boxes) + ".pressed", "Close (not expected)");
      }
      // Time for a screenshot of the box.
      if (hold_ms > 0) Sleep(static_cast<DWORD>(hold_ms));
      if (button)
        SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
      else
        SendMessageW(box, WM_CLOSE, 0, 0);
    }
    if (ended) break;
    if (ms_since_start() > timeout_ms) {
      timed_out = true;
      TerminateProcess(process.hProcess, 99);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
    Sleep(2);
  }
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  Fact("boxes", std::to_string(boxes));
  Fact("presses_left", std::to_string(presses.size() - next_press));
  if (timed_out) Fact("timeout", "yes");
  Fact("exit", std::to_string(status));
  return timed_out ? 3 : 0;
}

// The size of the largest file in `directory` whose name starts with ".unzip32-". Wine's
// directory listing shows the size that a file being written has now.
int64_t TemporaryFileSize(const std::wstring& directory) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"\\.unzip32-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  int64_t largest = -1;
  do {
    const int64_t size = (static_cast<int64_t>(found.nFileSizeHigh) << 32) |
                         static_cast<int64_t>(found.nFileSizeLow);
    if (size > largest) largest = size;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return largest;
}

int KillMidEntry(const std::vector<std::wstring>& args) {
  std::wstring directory, command;
  int64_t bytes = 1;
  int timeout_ms = 60000;
  for (size_t i = 0; i < args.size() && args[i] != L"--"; ++i) {
    if (args[i] == L"--directory" && i + 1 < args.size()) {
      directory = args[++i];
    } else if (args[i] == L"--bytes" && i + 1 < args.size()) {
      bytes = _wtoi64(args[++i].c_str());
    } else if (args[i] == L"--timeout" && i + 1 < args.size()) {
      timeout_ms = _wtoi(args[++i].c_str());
    } else if (args[i] == L"--command-file" && i + 1 < args.size()) {
      command = ReadCommandFile(args[++i]);
    }
  }
  if (command.empty()) command = CommandAfterSeparator();
  if (command.empty() || directory.empty()) {
    Fact("error", "kill-mid-entry needs --directory and a command line");
    return 2;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    Fact("error", "cannot start the program: " + std::to_string(GetLastError()));
    return 2;
  }
  const Clock::time_point start = Clock::now();
  int64_t seen = -1;
  bool ended = false;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      ended = true;
      break;
    }
    seen = TemporaryFileSize(directory);
    if (seen >= bytes) break;
    if (Clock::now() - start > std::chrono::milliseconds(timeout_ms)) {
      Fact("timeout", "yes");
      break;
    }
    Sleep(2);
  }
  if (!ended) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 10000);
  }
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  Fact("ended", ended ? "yes" : "no");
  Fact("seen_bytes", std::to_string(seen));
  Fact("exit", std::to_string(status));
  return 0;
}

int Overwrite(const std::vector<std::wstring>& args) {
  if (args.size() != 2) return 2;
  nocunzip::UnzipFiles unzip;
  unzip.ZipFileName(args[0]);
  unzip.ExtractDir(args[1]);
  unzip.PromptOverwrite(true);
  unzip.OverWriteFiles(false);
  return unzip.Unzip(L"", L"");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + (argc > 2 ? 2 : argc), argv + argc);
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  try {
    if (mode == L"watch") return Watch(args);
    if (mode == L"kill-mid-entry") return KillMidEntry(args);
    if (mode == L"overwrite") return Overwrite(args);
  } catch (const std::exception& e) {
    Fact("error", e.what());
    return 4;
  }
  Fact("error", "usage: nocunzip_wine_helper watch|kill-mid-entry|overwrite ...");
  return 2;
}
