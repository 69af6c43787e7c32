// The fonts of the window's design, with the system's stand-ins where one is missing.
#pragma once

#include <windows.h>

namespace brindle::winapp {

// Whether a font family of that name is installed.
bool FontInstalled(const wchar_t* family);
// Courier New at points (bold: weight 700), ANSI character set. Where it is missing, its metric
// twin Liberation Mono, and failing that any fixed-pitch font the system maps to, so the entry
// lines' columns stay under their headings.
HFONT MakeCourierNew(double points, bool bold, int dpi);
// The dialog font of the window's design: an 8-point sans serif of Arial's width (Arial, then
// its metric twin Liberation Sans, then the system's own dialog font).
HFONT MakeDialogFont(int dpi);

}  // namespace brindle::winapp
