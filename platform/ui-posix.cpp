// The terminal stands in for the window and the message boxes outside Windows: everything
// shown goes to standard error, and a box with several buttons asks the controlling
// terminal for its answer. Without a terminal it takes its default button and says so.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/ui.h"

namespace nocunzip::platform {
namespace {

struct Button {
  const char* word;
  int answer;
};

constexpr int kAnswerAbort = 3;
constexpr int kAnswerRetry = 4;
constexpr int kAnswerIgnore = 5;

std::vector<Button> ButtonsOf(int style) {
  switch (style & 0x0F) {
    case 1:
      return {{"OK", box::kAnswerOk}, {"Cancel", box::kAnswerCancel}};
    case 2:
      return {{"Abort", kAnswerAbort}, {"Retry", kAnswerRetry}, {"Ignore", kAnswerIgnore}};
    case box::kYesNoCancel:
      return {{"Yes", box::kAnswerYes}, {"No", box::kAnswerNo}, {"Cancel", box::kAnswerCancel}};
    case 4:
      return {{"Yes", box::kAnswerYes}, {"No", box::kAnswerNo}};
    case 5:
      return {{"Retry", kAnswerRetry}, {"Cancel", box::kAnswerCancel}};
    default:
      return {{"OK", box::kAnswerOk}};
  }
}

// Terminal lines end in a bare line feed.
std::string ForTerminal(const std::wstring& text) {
  std::string bytes = ToAnsi(text);
  std::string out;
  out.reserve(bytes.size() + 1);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    out.push_back(bytes[i]);
  }
  if (out.empty() || out.back() != '\n') out.push_back('\n');
  return out;
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void WriteError(const std::string& bytes) { WriteAll(STDERR_FILENO, bytes); }

class Terminal {
 public:
  Terminal() : fd_(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~Terminal() {
    if (fd_ >= 0) close(fd_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool present() const { return fd_ >= 0; }
  void Write(const std::string& bytes) { WriteAll(fd_, bytes); }

  // One line without its line feed; false at end of input with nothing read.
  bool ReadLine(std::string* line) {
    line->clear();
    for (;;) {
      char c;
      ssize_t n = read(fd_, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return !line->empty();
      if (c == '\n') return true;
      if (c != '\r') line->push_back(c);
    }
  }

 private:
  int fd_;
};

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

const Button* Match(const std::vector<Button>& buttons, const std::string& reply) {
  const std::string wanted = Lower(Trimmed(reply));
  for (const Button& button : buttons) {
    const std::string word = Lower(button.word);
    if (wanted == word || (wanted.size() == 1 && wanted[0] == word[0])) return &button;
  }
  return nullptr;
}

int AskTerminal(Terminal& terminal, const std::vector<Button>& buttons, const Button& fallback) {
  // Built front to back by appending: "[Y]es/[N]o/[C]ancel".
  std::string choices;
  for (const Button& button : buttons) {
    if (!choices.empty()) choices += '/';
    choices += '[';
    choices += button.word[0];
    choices += ']';
    choices += button.word + 1;
  }
  const std::string prompt = choices + " (default " + fallback.word + "): ";
  std::string reply;
  for (;;) {
    terminal.Write(prompt);
    if (!terminal.ReadLine(&reply)) {
      // The input was closed: that is closing the box.
      terminal.Write("\n");
      for (const Button& button : buttons)
        if (button.answer == box::kAnswerCancel) return button.answer;
      return fallback.answer;
    }
    if (Trimmed(reply).empty()) return fallback.answer;
    if (const Button* button = Match(buttons, reply)) return button->answer;
  }
}

}  // namespace

int ShowMessageBox(const std::wstring& text, const std::wstring& title, int style) {
  std::string shown = "[";
  shown += ToAnsi(title);
  shown += "]\n";
  shown += ForTerminal(text);
  WriteError(shown);
  const std::vector<Button> buttons = ButtonsOf(style);
  size_t default_index = static_cast<size_t>((style >> 8) & 0x0F);
  if (default_index >= buttons.size()) default_index = 0;
  const Button& fallback = buttons[default_index];
  if (buttons.size() == 1) return fallback.answer;

  Terminal terminal;
  if (!terminal.present()) {
    WriteError(std::string("(no terminal to ask: answering ") + fallback.word + ")\n");
    return fallback.answer;
  }
  return AskTerminal(terminal, buttons, fallback);
}

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
  WriteError(shown);
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
