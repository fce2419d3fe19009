// The window on the terminal: showing it writes its caption and label texts to standard
// error, and its timer is a wait on the calling thread.
#include <chrono>
#include <string>
#include <thread>

#include "platform/codepage.h"
#include "platform/terminal.h"
#include "platform/window.h"

namespace nocunzip::platform {

struct Window::Impl {
  bool unloaded = false;
  bool timer_running = false;
  std::chrono::milliseconds interval{0};
  std::chrono::steady_clock::time_point next_tick;
  std::function<void()> on_tick;
};

Window::Window(const WindowLayout& layout) : impl_(std::make_unique<Impl>()) {
  std::string shown = ToAnsi(layout.caption) + "\n";
  for (const LabelLayout& label : layout.labels) {
    shown += "  ";
    shown += ToAnsi(label.text);
    shown += '\n';
  }
  WriteToStandardError(shown);
}

Window::~Window() = default;

void Window::StartTimer(int interval_ms, std::function<void()> on_tick) {
  impl_->interval = std::chrono::milliseconds(interval_ms < 1 ? 1 : interval_ms);
  impl_->next_tick = std::chrono::steady_clock::now() + impl_->interval;
  impl_->on_tick = std::move(on_tick);
  impl_->timer_running = true;
}

void Window::StopTimer() { impl_->timer_running = false; }

void Window::Unload() { impl_->unloaded = true; }

void Window::RunUntilUnloaded() {
  // The timer is the window's only source of events here: once it is off and the window
  // is still loaded, nothing could ever unload it, so the loop ends as well.
  while (!impl_->unloaded && impl_->timer_running) {
    std::this_thread::sleep_until(impl_->next_tick);
    impl_->next_tick += impl_->interval;
    std::function<void()> tick = impl_->on_tick;
    tick();
  }
}

}  // namespace nocunzip::platform
