// Message boxes on the terminal: the title and text go to standard error, and a box with
// several buttons asks the controlling terminal for its answer. Without a terminal it
// takes its default button and says so.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/terminal.h"

namespace nocunzip::platform {
namespace {

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

// The controlling terminal of the process, /dev/tty, while the object lives.
class ControllingTerminal : public LineTerminal {
 public:
  ControllingTerminal() : fd_(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~ControllingTerminal() override {
    if (fd_ >= 0) close(fd_);
  }
  ControllingTerminal(const ControllingTerminal&) = delete;
  ControllingTerminal& operator=(const ControllingTerminal&) = delete;

  bool present() const { return fd_ >= 0; }

  void Write(const std::string& bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  bool ReadLine(std::string* line) override {
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

}  // namespace

int ShowMessageBox(const std::wstring& text, const std::wstring& title, int style) {
  std::string shown = "[";
  shown += ToAnsi(title);
  shown += "]\n";
  shown += ForTerminal(text);
  WriteToStandardError(shown);
  const std::vector<Button> buttons = ButtonsOf(style);
  const Button& fallback = DefaultButton(buttons, style);
  if (buttons.size() == 1) return fallback.answer;

  ControllingTerminal terminal;
  if (!terminal.present()) {
    WriteToStandardError(std::string("(no terminal to ask: answering ") + fallback.word + ")\n");
    return fallback.answer;
  }
  return AskTerminal(terminal, buttons, fallback);
}

}  // namespace nocunzip::platform
