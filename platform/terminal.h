// The terminal as it stands in for the window and the message boxes outside Windows: what
// they write to standard error, and how a box with several buttons asks for its answer.
#pragma once

#include <string>
#include <vector>

namespace nocunzip::platform {

// Writes all of `bytes` to standard error; a failed write is given up silently.
void WriteToStandardError(const std::string& bytes);

// A button of a message box: the word it shows and the answer it gives.
struct Button {
  const char* word;
  int answer;
};

// The buttons of message-box `style` (box::k...), in the order in which Windows shows them.
std::vector<Button> ButtonsOf(int style);

// The default button of `style` among `buttons`: the first one unless the style names
// another that exists.
const Button& DefaultButton(const std::vector<Button>& buttons, int style);

// The button that `reply` names by its word or by its first letter, in any case and with
// blanks around it; nullptr when it names none.
const Button* Match(const std::vector<Button>& buttons, const std::string& reply);

// Lines typed at a terminal, and the prompts written to it.
class LineTerminal {
 public:
  virtual ~LineTerminal() = default;
  virtual void Write(const std::string& bytes) = 0;
  // One line without its line end; false at the end of input with nothing read.
  virtual bool ReadLine(std::string* line) = 0;
};

// Asks "[Y]es/[N]o/[C]ancel (default Yes): " until a reply names a button. An empty reply
// takes `fallback`; the end of input closes the box, which answers Cancel when the box has
// that button and `fallback` otherwise.
int AskTerminal(LineTerminal& terminal, const std::vector<Button>& buttons, const Button& fallback);

}  // namespace nocunzip::platform
