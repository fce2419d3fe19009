#include <errno.h>
#include <unistd.h>

#include "platform/message_box.h"
#include "platform/terminal.h"

namespace nocunzip::platform {
namespace {

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

}  // namespace

void WriteToStandardError(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(STDERR_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::vector<Button> ButtonsOf(int style) {
  switch (style & 0x0F) {
    case box::kOkCancel:
      return {{"OK", box::kAnswerOk}, {"Cancel", box::kAnswerCancel}};
    case box::kAbortRetryIgnore:
      return {{"Abort", box::kAnswerAbort},
              {"Retry", box::kAnswerRetry},
              {"Ignore", box::kAnswerIgnore}};
    case box::kYesNoCancel:
      return {{"Yes", box::kAnswerYes}, {"No", box::kAnswerNo}, {"Cancel", box::kAnswerCancel}};
    case box::kYesNo:
      return {{"Yes", box::kAnswerYes}, {"No", box::kAnswerNo}};
    case box::kRetryCancel:
      return {{"Retry", box::kAnswerRetry}, {"Cancel", box::kAnswerCancel}};
    default:
      return {{"OK", box::kAnswerOk}};
  }
}

const Button& DefaultButton(const std::vector<Button>& buttons, int style) {
  const size_t index = static_cast<size_t>((style >> 8) & 0x0F);
  return index < buttons.size() ? buttons[index] : buttons.front();
}

const Button* Match(const std::vector<Button>& buttons, const std::string& reply) {
  const std::string wanted = Lower(Trimmed(reply));
  for (const Button& button : buttons) {
    const std::string word = Lower(button.word);
    if (wanted == word || (wanted.size() == 1 && wanted[0] == word[0])) return &button;
  }
  return nullptr;
}

int AskTerminal(LineTerminal& terminal, const std::vector<Button>& buttons,
                const Button& fallback) {
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

}  // namespace nocunzip::platform
