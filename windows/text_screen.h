// The main window's virtual text page of 96 x 25 character cells in the
// "FixedSys" OEM font: it holds no text, it only decides the scroll ranges.
#pragma once

#include "windows/win32.h"

namespace kvl::win {

class TextScreen {
 public:
  static constexpr int kColumns = 96;
  static constexpr int kLines = 25;

  // Creates the font, reads its metrics and sets the first scroll ranges from
  // the window's outer size.
  void Reset(HWND hwnd);
  // WM_SIZE with the client size.
  void Size(HWND hwnd, int width, int height);
  // Scroll requests are not acted on: the thumbs stay at 0.
  void Scroll(HWND hwnd, int bar);
  ~TextScreen();

 private:
  HFONT font_ = nullptr;
  int mxChar_ = 8, myChar_ = 16;
  bool ready_ = false;
};

}  // namespace kvl::win
