// The editor stand-in's windows: a top-level frame ("EdsimFrame", title "edsim - <file>") and a
// text child ("EdsimText") that shows the open file in a fixed-pitch font and owns the caret.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace edsim {

class Editor {
 public:
  static constexpr const char* kFrameClass = "EdsimFrame";
  static constexpr const char* kTextClass = "EdsimText";

  Editor() = default;
  ~Editor();
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // Registers the classes and shows the windows with the caret at line 0, column 0.
  // Throws std::runtime_error (UTF-8 message) on failure.
  void create();

  HWND frame() const { return frame_; }
  HWND text() const { return text_; }
  bool closed() const { return closed_; }

  // Shows a code page 932 file and names it in the title; throws std::runtime_error.
  void open(const std::string& ansiPath);
  // Puts the caret at a line and a column (in single-width cells), both counted from 0.
  void moveTo(int line, int column);
  // The caret's top-left corner in screen coordinates.
  POINT caretOnScreen() const;

  // Dispatches the messages already queued.
  void pumpPending();
  // Dispatches messages for the given time.
  void pumpFor(DWORD milliseconds);
  // Dispatches messages until the handle is signalled.
  void pumpUntil(HANDLE handle);

 private:
  static LRESULT CALLBACK frameProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK textProc(HWND, UINT, WPARAM, LPARAM);
  void paintText(HDC dc);
  void showCaret();
  POINT caretClient() const;
  void setTitle(const std::string& ansiName);

  HWND frame_ = nullptr;
  HWND text_ = nullptr;
  HFONT font_ = nullptr;
  int cellWidth_ = 8, cellHeight_ = 16, gutter_ = 0;
  int caretLine_ = 0, caretColumn_ = 0;
  bool hasCaret_ = false;
  bool closed_ = false;
  std::vector<std::string> lines_;  // code page 932
};

}  // namespace edsim
