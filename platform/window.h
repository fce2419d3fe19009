// The program's one window: a small fixed-dialog window with two labels and a timer.
//
// On Windows it is a real Win32 window. Elsewhere the terminal stands in: showing the
// window writes its caption and both label texts to standard error, and the timer is a
// wait on the calling thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace nocunzip::platform {

// How the window looks. Lengths are in twips (1/1440 inch).
struct LabelLayout {
  std::wstring text;
  int left = 0, top = 0, width = 0, height = 0;  // centred text
};

struct WindowLayout {
  std::wstring caption;
  int client_width = 0, client_height = 0;
  LabelLayout labels[2];
};

// Created visible and centred on the screen. Creation raises a ProgramError (7) when the
// system refuses the window.
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

  // Delivers the window's events (paint, timer) until the window is unloaded, by Unload or
  // by the user closing it. An error that `on_tick` raised ends the loop and is raised here.
  void RunUntilUnloaded();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nocunzip::platform
