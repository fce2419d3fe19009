#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/ui.h"

namespace nocunzip::platform {
namespace {

using Clock = std::chrono::steady_clock;

WindowLayout TestLayout() {
  WindowLayout layout;
  layout.caption = L"NocUnzip window test";
  layout.client_width = 3630;
  layout.client_height = 705;
  layout.labels[0] = {L"Ein Datenarchiv wird entpackt!", 120, 120, 3375, 255};
  layout.labels[1] = {L"Bitte warten...", 120, 360, 3375, 255};
  return layout;
}

int Dpi(int index) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, index);
  ReleaseDC(nullptr, screen);
  return dpi;
}

std::wstring TextOf(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

TEST(Window, HasTheFixedDialogFrameTheSizeAndTheLabelsOfItsLayout) {
  const WindowLayout layout = TestLayout();
  Window window(layout);
  HWND hwnd = FindWindowW(L"InetUnzip", layout.caption.c_str());
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(TextOf(hwnd), layout.caption);

  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);

  const int dpi_x = Dpi(LOGPIXELSX), dpi_y = Dpi(LOGPIXELSY);
  RECT client;
  ASSERT_TRUE(GetClientRect(hwnd, &client));
  EXPECT_EQ(client.right, MulDiv(3630, dpi_x, 1440));
  EXPECT_EQ(client.bottom, MulDiv(705, dpi_y, 1440));

  RECT outer;
  ASSERT_TRUE(GetWindowRect(hwnd, &outer));
  const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_LE(std::abs((outer.left + outer.right) - screen_w), 1);
  EXPECT_LE(std::abs((outer.top + outer.bottom) - screen_h), 1);

  const std::vector<HWND> labels = ChildrenOf(hwnd);
  ASSERT_EQ(labels.size(), 2u);
  for (size_t i = 0; i < labels.size(); ++i) {
    const LabelLayout& expected = layout.labels[i];
    wchar_t kind[32] = {};
    GetClassNameW(labels[i], kind, 32);
    EXPECT_EQ(_wcsicmp(kind, L"Static"), 0);
    EXPECT_EQ(TextOf(labels[i]), expected.text);
    EXPECT_EQ(GetWindowLongW(labels[i], GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
    EXPECT_NE(SendMessageW(labels[i], WM_GETFONT, 0, 0), 0);
    RECT box;
    GetWindowRect(labels[i], &box);
    MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, MulDiv(expected.left, dpi_x, 1440));
    EXPECT_EQ(box.top, MulDiv(expected.top, dpi_y, 1440));
    EXPECT_EQ(box.right - box.left, MulDiv(expected.width, dpi_x, 1440));
    EXPECT_EQ(box.bottom - box.top, MulDiv(expected.height, dpi_y, 1440));
  }
}

TEST(Window, TimerTicksOnTheWindowsThreadUntilUnloaded) {
  Window window(TestLayout());
  const DWORD thread = GetCurrentThreadId();
  int ticks = 0;
  bool same_thread = true;
  const Clock::time_point start = Clock::now();
  window.StartTimer(40, [&] {
    same_thread = same_thread && GetCurrentThreadId() == thread;
    if (++ticks == 3) window.Unload();
  });
  window.RunUntilUnloaded();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(same_thread);
  // No tick comes before its interval has passed.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(120));
  EXPECT_EQ(FindWindowW(L"InetUnzip", TestLayout().caption.c_str()), nullptr);
}

TEST(Window, StoppedTimerTicksNoMore) {
  Window window(TestLayout());
  int ticks = 0;
  window.StartTimer(20, [&] {
    ++ticks;
    window.StopTimer();
    // Let the window's messages flow a while longer before unloading.
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(200);
    MSG message;
    while (Clock::now() < until) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      Sleep(5);
    }
    window.Unload();
  });
  window.RunUntilUnloaded();
  EXPECT_EQ(ticks, 1);
}

TEST(Window, AnErrorOfTheTimerHandlerLeavesTheLoop) {
  Window window(TestLayout());
  window.StartTimer(10, [] { throw ProgramError(53, L"test", L"File not found: unzip32.dll"); });
  try {
    window.RunUntilUnloaded();
    FAIL() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), 53);
    EXPECT_EQ(e.description(), L"File not found: unzip32.dll");
  }
}

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
  Window window(TestLayout());
  HWND hwnd = FindWindowW(L"InetUnzip", TestLayout().caption.c_str());
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
