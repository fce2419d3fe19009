// The user interface of the program: one small fixed-dialog window with two labels and a
// timer, and modal message boxes.
//
// On Windows these are real Win32 windows; elsewhere the terminal stands in: the window
// and boxes write to standard error, and a box with several buttons reads its answer from
// the controlling terminal when there is one.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace nocunzip::platform {

// Message-box styles and answers, with the values of the Windows API.
namespace box {
inline constexpr int kOkOnly = 0;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kDefaultButton1 = 0;

inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
}  // namespace box

// Shows a modal box owned by the program's active window and returns the pressed button.
// Closing a box that has a Cancel button answers kAnswerCancel.
int ShowMessageBox(const std::wstring& text, const std::wstring& title, int style);

// How a window looks. Lengths are in twips (1/1440 inch).
struct LabelLayout {
  std::wstring text;
  int left = 0, top = 0, width = 0, height = 0;  // centred text
};

struct WindowLayout {
  std::wstring caption;
  int client_width = 0, client_height = 0;
  LabelLayout labels[2];
};

// The program's one window. Created visible and centred on the screen.
class Window {
 public:
  explicit Window(const WindowLayout& layout);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Starts a timer that calls `on_tick` every `interval_ms` milliseconds on the window's
  // thread until StopTimer.
  void StartTimer(int interval_ms, std::function<void()> on_tick);
  void StopTimer();

  // Destroys the window; RunUntilUnloaded then returns.
  void Unload();

  // Delivers the window's events (paint, timer) until the window is unloaded.
  void RunUntilUnloaded();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nocunzip::platform
