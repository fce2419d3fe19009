// The program's window as a real Win32 window.
//
// The window is a fixed dialog frame (caption and system menu, no minimise or maximise
// box, not resizable) whose client area and labels are laid out in twips and converted to
// pixels at the screen's real resolution. Its timer runs on the window's thread through
// WM_TIMER; an error that the timer's handler raises is carried out of the window
// procedure and raised again by RunUntilUnloaded, so that it never unwinds through the
// system's frames.
#include <windows.h>

#include <chrono>
#include <exception>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/system_error_text.h"
#include "platform/window.h"

namespace nocunzip::platform {
namespace {

constexpr wchar_t kWindowClass[] = L"InetUnzip";
constexpr UINT_PTR kTimerId = 1;
constexpr int kIconResource = 1;
constexpr int kTwipsPerInch = 1440;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME;

// The screen's resolution in dots per inch, horizontally and vertically.
struct ScreenDpi {
  int x = 96, y = 96;
};

ScreenDpi QueryScreenDpi() {
  ScreenDpi dpi;
  if (HDC screen = GetDC(nullptr)) {
    dpi.x = GetDeviceCaps(screen, LOGPIXELSX);
    dpi.y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (dpi.x <= 0) dpi.x = 96;
  if (dpi.y <= 0) dpi.y = 96;
  return dpi;
}

int TwipsToPixels(int twips, int dpi) { return MulDiv(twips, dpi, kTwipsPerInch); }

// The font of dialog texts: the system's message font, or the default GUI font.
class DialogFont {
 public:
  DialogFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
      font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    owned_ = font_ != nullptr;
    if (!font_) font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  ~DialogFont() {
    if (owned_) DeleteObject(font_);
  }
  DialogFont(const DialogFont&) = delete;
  DialogFont& operator=(const DialogFont&) = delete;
  HFONT get() const { return font_; }

 private:
  HFONT font_ = nullptr;
  bool owned_ = false;
};

}  // namespace

struct Window::Impl {
  using Clock = std::chrono::steady_clock;

  HWND hwnd = nullptr;
  DialogFont font;

  std::function<void()> on_tick;
  bool timer_running = false;
  std::chrono::milliseconds interval{0};
  Clock::time_point next_due;
  std::exception_ptr error;

  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void OnTimer();
};

LRESULT CALLBACK Window::Impl::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* impl = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (impl) {
    switch (message) {
      case WM_TIMER:
        if (wparam == kTimerId) {
          impl->OnTimer();
          return 0;
        }
        break;
      case WM_DESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        impl->hwnd = nullptr;
        impl->timer_running = false;
        break;
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Window::Impl::OnTimer() {
  if (!timer_running || error) return;
  // A tick that the system delivers before its time is put off until then, so that the
  // handler never runs before a whole interval has passed.
  const Clock::time_point now = Clock::now();
  if (now < next_due) {
    const auto early = std::chrono::ceil<std::chrono::milliseconds>(next_due - now);
    SetTimer(hwnd, kTimerId, static_cast<UINT>(early.count()), nullptr);
    return;
  }
  next_due = now + interval;
  SetTimer(hwnd, kTimerId, static_cast<UINT>(interval.count()), nullptr);
  std::function<void()> tick = on_tick;
  try {
    tick();
  } catch (...) {
    error = std::current_exception();
  }
}

Window::Window(const WindowLayout& layout) : impl_(std::make_unique<Impl>()) {
  // The layout is converted at the screen's real resolution, not at one that the system
  // pretends and then scales as a blurred bitmap.
  SetProcessDPIAware();
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &Impl::Procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  window_class.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                     GetSystemMetrics(SM_CYICON), LR_SHARED));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource),
                                                       IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw ProgramError(kErrOutOfMemory, L"NocUnzip",
                       L"Out of memory: " + SystemErrorText(GetLastError()));

  const ScreenDpi dpi = QueryScreenDpi();
  RECT frame{0, 0, TwipsToPixels(layout.client_width, dpi.x),
             TwipsToPixels(layout.client_height, dpi.y)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

  impl_->hwnd = CreateWindowExW(kWindowExStyle, kWindowClass, layout.caption.c_str(), kWindowStyle,
                                left, top, width, height, nullptr, nullptr, instance, impl_.get());
  if (!impl_->hwnd)
    throw ProgramError(kErrOutOfMemory, L"NocUnzip",
                       L"Out of memory: " + SystemErrorText(GetLastError()));

  int id = 1;
  for (const LabelLayout& label : layout.labels) {
    HWND control = CreateWindowExW(
        0, L"STATIC", label.text.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
        TwipsToPixels(label.left, dpi.x), TwipsToPixels(label.top, dpi.y),
        TwipsToPixels(label.width, dpi.x), TwipsToPixels(label.height, dpi.y), impl_->hwnd,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(impl_->font.get()), 0);
  }

  // The icons of the window itself too, so that anyone can ask the window for them.
  if (window_class.hIcon)
    SendMessageW(impl_->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(window_class.hIcon));
  if (window_class.hIconSm)
    SendMessageW(impl_->hwnd, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(window_class.hIconSm));

  ShowWindow(impl_->hwnd, SW_SHOWNORMAL);
  UpdateWindow(impl_->hwnd);
  SetForegroundWindow(impl_->hwnd);
}

Window::~Window() {
  if (impl_->hwnd) DestroyWindow(impl_->hwnd);
}

void Window::StartTimer(int interval_ms, std::function<void()> on_tick) {
  if (!impl_->hwnd) return;
  impl_->interval = std::chrono::milliseconds(interval_ms < 1 ? 1 : interval_ms);
  impl_->next_due = Impl::Clock::now() + impl_->interval;
  impl_->on_tick = std::move(on_tick);
  impl_->timer_running = true;
  SetTimer(impl_->hwnd, kTimerId, static_cast<UINT>(impl_->interval.count()), nullptr);
}

void Window::StopTimer() {
  impl_->timer_running = false;
  if (impl_->hwnd) KillTimer(impl_->hwnd, kTimerId);
}

void Window::Unload() {
  if (impl_->hwnd) DestroyWindow(impl_->hwnd);
}

void Window::RunUntilUnloaded() {
  MSG message;
  while (impl_->hwnd && !impl_->error) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      // Someone asked the thread to quit: pass that on to whoever loops next.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (got == -1) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (impl_->error) std::rethrow_exception(std::exchange(impl_->error, nullptr));
}

}  // namespace nocunzip::platform
