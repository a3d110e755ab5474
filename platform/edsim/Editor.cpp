#include "platform/edsim/Editor.h"

#include <cstdio>
#include <stdexcept>

#include "platform/edsim/Text.h"

namespace edsim {
namespace {

constexpr int kFrameX = 40, kFrameY = 40, kFrameWidth = 760, kFrameHeight = 520;
constexpr int kGutterDigits = 5;
constexpr LONGLONG kMaxFileSize = 16 * 1024 * 1024;

Editor* editorOf(HWND hwnd) { return reinterpret_cast<Editor*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

void attach(HWND hwnd, LPARAM lParam) {
  const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

[[noreturn]] void failWin32(const std::string& what) {
  throw std::runtime_error(what + ": " + systemMessage(GetLastError()));
}

// The part of a code page 932 path after its last separator; a trail byte 0x5C is no separator.
std::string baseName(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (IsDBCSLeadByteEx(kAnsiCodePage, c)) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      start = i + 1;
    }
  }
  return path.substr(start);
}

std::vector<std::string> splitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

Editor::~Editor() {
  // The windows go with the process: Wine's X11 driver waits two seconds for a window manager
  // to confirm each destroyed top-level window, and under Xvfb there is none.
  if (font_) DeleteObject(font_);
}

void Editor::create() {
  HINSTANCE instance = GetModuleHandleA(nullptr);

  WNDCLASSEXA frameClass{};
  frameClass.cbSize = sizeof frameClass;
  frameClass.style = CS_HREDRAW | CS_VREDRAW;
  frameClass.lpfnWndProc = &Editor::frameProc;
  frameClass.hInstance = instance;
  frameClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  frameClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  frameClass.lpszClassName = kFrameClass;
  if (!RegisterClassExA(&frameClass)) failWin32("RegisterClassEx(EdsimFrame)");

  WNDCLASSEXA textClass{};
  textClass.cbSize = sizeof textClass;
  textClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  textClass.lpfnWndProc = &Editor::textProc;
  textClass.hInstance = instance;
  textClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_IBEAM));
  textClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  textClass.lpszClassName = kTextClass;
  if (!RegisterClassExA(&textClass)) failWin32("RegisterClassEx(EdsimText)");

  font_ = CreateFontA(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "MS Gothic");
  if (!font_) failWin32("CreateFont");

  frame_ = CreateWindowExA(0, kFrameClass, "edsim - untitled", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, kFrameX,
                           kFrameY, kFrameWidth, kFrameHeight, nullptr, nullptr, instance, this);
  if (!frame_) failWin32("CreateWindowEx(EdsimFrame)");

  // Cell size of the font, measured on the screen.
  HDC dc = GetDC(frame_);
  if (!dc) failWin32("GetDC");
  HGDIOBJ old = SelectObject(dc, font_);
  TEXTMETRICA metrics{};
  const BOOL measured = GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(frame_, dc);
  if (!measured) failWin32("GetTextMetrics");
  cellWidth_ = metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 8;
  cellHeight_ = metrics.tmHeight + metrics.tmExternalLeading;
  gutter_ = (kGutterDigits + 1) * cellWidth_;

  RECT client{};
  GetClientRect(frame_, &client);
  text_ = CreateWindowExA(WS_EX_CLIENTEDGE, kTextClass, "", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom,
                          frame_, reinterpret_cast<HMENU>(1), instance, this);
  if (!text_) failWin32("CreateWindowEx(EdsimText)");

  ShowWindow(frame_, SW_SHOWNORMAL);
  UpdateWindow(frame_);
  SetForegroundWindow(frame_);
  SetFocus(text_);
  // Without a window manager the focus may not arrive; the caret is the text window's anyway.
  showCaret();
  pumpPending();
}

void Editor::showCaret() {
  if (hasCaret_ || !text_) return;
  if (!CreateCaret(text_, nullptr, 2, cellHeight_)) return;
  hasCaret_ = true;
  const POINT p = caretClient();
  SetCaretPos(p.x, p.y);
  ShowCaret(text_);
}

POINT Editor::caretClient() const { return POINT{gutter_ + caretColumn_ * cellWidth_, caretLine_ * cellHeight_}; }

POINT Editor::caretOnScreen() const {
  POINT p = caretClient();
  if (text_) ClientToScreen(text_, &p);
  return p;
}

void Editor::moveTo(int line, int column) {
  caretLine_ = line < 0 ? 0 : line;
  caretColumn_ = column < 0 ? 0 : column;
  if (hasCaret_) {
    const POINT p = caretClient();
    SetCaretPos(p.x, p.y);
  }
}

void Editor::setTitle(const std::string& ansiName) {
  const std::string title = "edsim - " + ansiName;
  if (!SetWindowTextA(frame_, title.c_str())) failWin32("SetWindowText");
}

void Editor::open(const std::string& ansiPath) {
  const std::string shown = "\"" + ansiToUtf8(ansiPath) + "\"";
  HANDLE file = CreateFileA(ansiPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) failWin32("cannot open " + shown);
  std::string bytes;
  LARGE_INTEGER size{};
  DWORD error = ERROR_SUCCESS;
  if (!GetFileSizeEx(file, &size)) {
    error = GetLastError();
  } else if (size.QuadPart > kMaxFileSize) {
    CloseHandle(file);
    throw std::runtime_error(shown + " is larger than 16 MiB");
  } else {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
      error = GetLastError();
    }
    bytes.resize(got);
  }
  CloseHandle(file);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    failWin32("cannot read " + shown);
  }
  lines_ = splitLines(bytes);
  setTitle(baseName(ansiPath));
  moveTo(0, 0);
  InvalidateRect(text_, nullptr, TRUE);
}

void Editor::paintText(HDC dc) {
  RECT client{};
  GetClientRect(text_, &client);
  HGDIOBJ old = SelectObject(dc, font_);
  SetBkMode(dc, TRANSPARENT);

  RECT gutter{0, 0, gutter_ - cellWidth_ / 2, client.bottom};
  HBRUSH grey = CreateSolidBrush(RGB(236, 236, 236));
  if (grey) {
    FillRect(dc, &gutter, grey);
    DeleteObject(grey);
  }
  const int rows = static_cast<int>(lines_.size());
  for (int i = 0; i <= rows && i * cellHeight_ < client.bottom; ++i) {
    const int y = i * cellHeight_;
    if (i == rows) {
      SetTextColor(dc, RGB(0, 96, 192));
      TextOutA(dc, gutter_, y, "[EOF]", 5);
      break;
    }
    char number[16];
    const int n = std::snprintf(number, sizeof number, "%*d", kGutterDigits - 1, i + 1);
    SetTextColor(dc, RGB(128, 128, 128));
    TextOutA(dc, 0, y, number, n);
    SetTextColor(dc, RGB(0, 0, 0));
    const std::string& line = lines_[static_cast<size_t>(i)];
    if (!line.empty())
      TabbedTextOutA(dc, gutter_, y, line.c_str(), static_cast<int>(line.size()), 0, nullptr, gutter_);
  }
  SelectObject(dc, old);
}

LRESULT CALLBACK Editor::frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) attach(hwnd, lParam);
  Editor* self = editorOf(hwnd);
  if (self) {
    switch (message) {
      case WM_SIZE:
        if (self->text_) MoveWindow(self->text_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
      case WM_SETFOCUS:
        if (self->text_) SetFocus(self->text_);
        return 0;
      case WM_DESTROY:
        self->closed_ = true;
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Editor::textProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) attach(hwnd, lParam);
  Editor* self = editorOf(hwnd);
  if (self) {
    switch (message) {
      case WM_SETFOCUS:
        self->showCaret();
        return 0;
      case WM_KILLFOCUS:
        if (self->hasCaret_) {
          DestroyCaret();
          self->hasCaret_ = false;
        }
        return 0;
      case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc) {
          self->paintText(dc);
          EndPaint(hwnd, &ps);
        }
        return 0;
      }
      default:
        break;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

void Editor::pumpPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;  // nothing here ends on a quit message
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Editor::pumpFor(DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (;;) {
    pumpPending();
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void Editor::pumpUntil(HANDLE handle) {
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_FAILED) failWin32("MsgWaitForMultipleObjectsEx");
    pumpPending();
  }
  pumpPending();
}

}  // namespace edsim
