// Message boxes of the system, owned by the program's active window.
#include <windows.h>

#include <string>

#include "platform/message_box.h"

namespace nocunzip::platform {
namespace {

bool HasCancelButton(int style) {
  const int buttons = style & 0x0F;
  return buttons == MB_OKCANCEL || buttons == MB_YESNOCANCEL || buttons == MB_RETRYCANCEL;
}

}  // namespace

int ShowMessageBox(const std::wstring& text, const std::wstring& title, int style) {
  const int answer =
      MessageBoxW(GetActiveWindow(), text.c_str(), title.c_str(), static_cast<UINT>(style));
  if (answer != 0) return answer;
  // The box could not be shown: take the answer that changes nothing.
  return HasCancelButton(style) ? box::kAnswerCancel : box::kAnswerOk;
}

}  // namespace nocunzip::platform
