#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "platform/message_box.h"
#include "platform/window.h"

namespace nocunzip::platform {
namespace {

// What a user sees of a message box, and the button that the user then presses.
struct SeenBox {
  std::wstring text;
  HWND owner = nullptr;
  bool ok = false, yes = false, no = false, cancel = false;
};

// Waits on another thread for the box titled `title`, notes what it shows and presses
// `button` (0: closes the box instead).
std::thread Answer(const std::wstring& title, int button, SeenBox* seen) {
  return std::thread([=] {
    HWND box = nullptr;
    for (int i = 0; i < 2000 && !box; ++i) {
      box = FindWindowW(L"#32770", title.c_str());
      if (!box) Sleep(5);
    }
    if (!box) return;
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    seen->text = text;
    seen->owner = GetWindow(box, GW_OWNER);
    seen->ok = GetDlgItem(box, IDOK) != nullptr;
    seen->yes = GetDlgItem(box, IDYES) != nullptr;
    seen->no = GetDlgItem(box, IDNO) != nullptr;
    seen->cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    if (button)
      SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
    else
      SendMessageW(box, WM_CLOSE, 0, 0);
  });
}

TEST(MessageBoxTest, ShowsTextAndButtonsAndReturnsTheAnswer) {
  const int question = box::kYesNoCancel | box::kExclamation | box::kDefaultButton1;
  const struct {
    int button, answer;
  } cases[] = {{IDYES, box::kAnswerYes},
               {IDNO, box::kAnswerNo},
               {IDCANCEL, box::kAnswerCancel},
               {0, box::kAnswerCancel}};
  for (const auto& c : cases) {
    SeenBox seen;
    std::thread user = Answer(L"Frage", c.button, &seen);
    const int answer = ShowMessageBox(L"Overwrite C:\\a.txt?", L"Frage", question);
    user.join();
    EXPECT_EQ(answer, c.answer) << "button " << c.button;
    EXPECT_EQ(seen.text, L"Overwrite C:\\a.txt?");
    EXPECT_TRUE(seen.yes && seen.no && seen.cancel);
    EXPECT_FALSE(seen.ok);
  }

  SeenBox seen;
  std::thread user = Answer(L"Hinweis", IDOK, &seen);
  EXPECT_EQ(ShowMessageBox(L"Nur OK", L"Hinweis", box::kInformation), box::kAnswerOk);
  user.join();
  EXPECT_TRUE(seen.ok);
  EXPECT_FALSE(seen.yes || seen.no || seen.cancel);
}

TEST(MessageBoxTest, IsOwnedByTheActiveWindow) {
  WindowLayout layout;
  layout.caption = L"NocUnzip message box test";
  layout.client_width = 3630;
  layout.client_height = 705;
  Window window(layout);
  HWND hwnd = FindWindowW(L"InetUnzip", layout.caption.c_str());
  ASSERT_NE(hwnd, nullptr);
  if (GetActiveWindow() != hwnd) GTEST_SKIP() << "the window did not become active";
  SeenBox seen;
  std::thread user = Answer(L"Ungültiger Aufruf", IDOK, &seen);
  EXPECT_EQ(ShowMessageBox(L"Text", L"Ungültiger Aufruf", box::kInformation), box::kAnswerOk);
  user.join();
  EXPECT_EQ(seen.owner, hwnd);
}

}  // namespace
}  // namespace nocunzip::platform
