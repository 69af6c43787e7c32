#include "winapp/Fonts.h"

#include <cmath>
#include <cwchar>
#include <initializer_list>

namespace brindle::winapp {
namespace {

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

HFONT Make(const wchar_t* family, double points, int weight, BYTE pitchAndFamily, int dpi) {
  LOGFONTW font{};
  font.lfHeight = -static_cast<LONG>(std::lround(points * dpi / 72.0));
  font.lfWeight = weight;
  font.lfCharSet = ANSI_CHARSET;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = pitchAndFamily;
  if (family != nullptr) wcsncpy(font.lfFaceName, family, LF_FACESIZE - 1);
  return CreateFontIndirectW(&font);
}

const wchar_t* FirstInstalled(std::initializer_list<const wchar_t*> families) {
  for (const wchar_t* family : families) {
    if (FontInstalled(family)) return family;
  }
  return nullptr;
}

}  // namespace

bool FontInstalled(const wchar_t* family) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(wanted.lfFaceName, family, LF_FACESIZE - 1);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &wanted, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

HFONT MakeCourierNew(double points, bool bold, int dpi) {
  // Looked up once: the window makes this font in three sizes and weights.
  static const wchar_t* const family = FirstInstalled({L"Courier New", L"Liberation Mono"});
  return Make(family, points, bold ? FW_BOLD : FW_NORMAL, FIXED_PITCH | FF_MODERN, dpi);
}

HFONT MakeDialogFont(int dpi) {
  if (const wchar_t* family = FirstInstalled({L"Arial", L"Liberation Sans"})) {
    return Make(family, 8.25, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, dpi);
  }
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace brindle::winapp
