// Modal message boxes with a text, a title, buttons and an icon.
//
// On Windows these are the system's message boxes. Elsewhere the terminal stands in: a box
// writes its title and text to standard error, and a box with several buttons reads its
// answer from the controlling terminal when there is one (platform/terminal.h).
#pragma once

#include <string>

namespace nocunzip::platform {

// Message-box styles and answers, with the values of the Windows API.
namespace box {
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kAbortRetryIgnore = 2;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kDefaultButton1 = 0;
inline constexpr int kDefaultButton2 = 0x100;
inline constexpr int kDefaultButton3 = 0x200;

inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerAbort = 3;
inline constexpr int kAnswerRetry = 4;
inline constexpr int kAnswerIgnore = 5;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
}  // namespace box

// Shows a modal box owned by the program's active window and returns the pressed button.
// Closing a box that has a Cancel button answers kAnswerCancel.
int ShowMessageBox(const std::wstring& text, const std::wstring& title, int style);

}  // namespace nocunzip::platform
