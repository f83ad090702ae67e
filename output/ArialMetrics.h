#pragma once
// Advance widths of the sans-serif face the exported metafile names ("Arial"),
// so that right-aligned texts can be placed without a window system. The
// widths are those of the face's metric-compatible free twin.
#include <string_view>

namespace zop {

// The em height in pixels of a font of `pointSize` points on a 96 dpi screen.
int FontEmPixels(int pointSize);

// The width in pixels of `text` (Windows-1252 bytes) at an em of `emPixels`,
// each character rounded to whole pixels as the screen renders it.
int ArialTextWidth(std::string_view text, int emPixels);

} // namespace zop
