#include "windows/text_screen.h"

#include <algorithm>

namespace kvl::win {

void TextScreen::Reset(HWND hwnd) {
  if (font_) DeleteObject(font_);
  LOGFONTW lf{};
  lf.lfHeight = 12;
  lf.lfCharSet = OEM_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lstrcpyW(lf.lfFaceName, L"FixedSys");
  font_ = CreateFontIndirectW(&lf);
  HDC dc = GetDC(hwnd);
  HGDIOBJ old =
      SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(OEM_FIXED_FONT));
  TEXTMETRICW tm{};
  if (GetTextMetricsW(dc, &tm)) {
    mxChar_ = tm.tmAveCharWidth;
    myChar_ = tm.tmHeight + tm.tmExternalLeading;
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  ready_ = true;
  RECT r;
  GetWindowRect(hwnd, &r);
  SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
}

void TextScreen::Size(HWND hwnd, int width, int height) {
  if (!ready_) return;
  int yMax = std::max(0, kLines * myChar_ - height);
  SetScrollPos(hwnd, SB_VERT, 0, FALSE);
  SetScrollRange(hwnd, SB_VERT, 0, yMax, TRUE);
  int xMax = std::max(0, kColumns * mxChar_ - width);
  SetScrollPos(hwnd, SB_HORZ, 0, FALSE);
  SetScrollRange(hwnd, SB_HORZ, 0, xMax, TRUE);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void TextScreen::Scroll(HWND hwnd, int bar) {
  SetScrollPos(hwnd, bar, 0, TRUE);
}

TextScreen::~TextScreen() {
  if (font_) DeleteObject(font_);
}

}  // namespace kvl::win
