#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/window.h"

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

// A user may close the window with its close box before the timer has fired.
TEST(Window, ClosingTheWindowEndsTheLoopWithoutATick) {
  Window window(TestLayout());
  HWND hwnd = FindWindowW(L"InetUnzip", TestLayout().caption.c_str());
  ASSERT_NE(hwnd, nullptr);
  int ticks = 0;
  window.StartTimer(60000, [&] { ++ticks; });
  PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  window.RunUntilUnloaded();
  EXPECT_EQ(ticks, 0);
  EXPECT_FALSE(IsWindow(hwnd));
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

}  // namespace
}  // namespace nocunzip::platform
