#include "platform/terminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_box.h"

namespace nocunzip::platform {
namespace {

std::string Words(const std::vector<Button>& buttons) {
  std::string words;
  for (const Button& button : buttons) words += std::string(words.empty() ? "" : "/") + button.word;
  return words;
}

TEST(TerminalBox, ButtonsAndDefaultOfAStyle) {
  const struct {
    int style;
    const char* words;
    const char* default_word;
  } cases[] = {
      {box::kOkOnly | box::kInformation, "OK", "OK"},
      {box::kOkCancel | box::kDefaultButton2, "OK/Cancel", "Cancel"},
      {box::kAbortRetryIgnore | box::kDefaultButton3, "Abort/Retry/Ignore", "Ignore"},
      {box::kYesNoCancel | box::kExclamation, "Yes/No/Cancel", "Yes"},
      {box::kYesNo | box::kDefaultButton2, "Yes/No", "No"},
      // A default button that the box lacks falls back to the first.
      {box::kRetryCancel | box::kDefaultButton3, "Retry/Cancel", "Retry"},
  };
  for (const auto& c : cases) {
    const std::vector<Button> buttons = ButtonsOf(c.style);
    EXPECT_EQ(Words(buttons), c.words) << "style " << c.style;
    EXPECT_STREQ(DefaultButton(buttons, c.style).word, c.default_word) << "style " << c.style;
  }
}

TEST(TerminalBox, ReplyNamesAButtonByWordOrFirstLetter) {
  const std::vector<Button> buttons = ButtonsOf(box::kYesNoCancel);
  const struct {
    const char* reply;
    const char* word;  // nullptr: no button
  } cases[] = {{"y", "Yes"},    {"N", "No"},    {" cancel\t", "Cancel"}, {"YES", "Yes"},
               {"ye", nullptr}, {"x", nullptr}, {"", nullptr},           {"no way", nullptr}};
  for (const auto& c : cases) {
    const Button* button = Match(buttons, c.reply);
    if (c.word)
      EXPECT_TRUE(button && std::string(button->word) == c.word) << "'" << c.reply << "'";
    else
      EXPECT_EQ(button, nullptr) << "'" << c.reply << "'";
  }
}

// Lines typed in advance; what the question wrote.
class TypedLines : public LineTerminal {
 public:
  explicit TypedLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  void Write(const std::string& bytes) override { written += bytes; }
  bool ReadLine(std::string* line) override {
    if (next_ == lines_.size()) return false;
    *line = lines_[next_++];
    return true;
  }
  std::string written;

 private:
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

TEST(TerminalBox, AsksUntilAReplyNamesAButton) {
  const std::string prompt = "[Y]es/[N]o/[C]ancel (default Yes): ";
  const struct {
    int style;
    std::vector<std::string> typed;
    int answer;
    std::string written;
  } cases[] = {
      {box::kYesNoCancel, {"n"}, box::kAnswerNo, prompt},
      {box::kYesNoCancel, {"maybe", "  ", "c"}, box::kAnswerYes, prompt + prompt},
      {box::kYesNoCancel, {"maybe", "cancel"}, box::kAnswerCancel, prompt + prompt},
      // The end of input closes the box: Cancel where there is one, else the default.
      {box::kYesNoCancel, {}, box::kAnswerCancel, prompt + "\n"},
      {box::kYesNo | box::kDefaultButton2,
       {"what"},
       box::kAnswerNo,
       "[Y]es/[N]o (default No): [Y]es/[N]o (default No): \n"},
  };
  for (const auto& c : cases) {
    TypedLines terminal(c.typed);
    const std::vector<Button> buttons = ButtonsOf(c.style);
    EXPECT_EQ(AskTerminal(terminal, buttons, DefaultButton(buttons, c.style)), c.answer)
        << testing::PrintToString(c.typed);
    EXPECT_EQ(terminal.written, c.written) << testing::PrintToString(c.typed);
  }
}

}  // namespace
}  // namespace nocunzip::platform
