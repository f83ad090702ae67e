#pragma once
// A drawing surface with the semantics of the classic Windows drawing
// interface, so that the screen trace, the printed page and the exported
// sheets are drawn by the same code:
// - a line from A to B covers A and stops one pixel before B;
// - FillRect(x1, y1, x2, y2) covers columns x1..x2-1 and rows y1..y2-1;
// - the inverting mix sets every touched pixel to NOT(pen XOR pixel) per RGB
//   channel, so drawing the same line twice restores the picture.
// Backed by QPainter for pictures and paper, by our metafile writer for WMF,
// and by a recorder in tests. Texts are Windows-1252 bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zop {

struct Rgb {
    uint8_t R = 0, G = 0, B = 0;
    bool operator==(const Rgb&) const = default;
};

namespace Colours {
inline constexpr Rgb Black { 0, 0, 0 };
inline constexpr Rgb White { 255, 255, 255 };
inline constexpr Rgb Grey { 128, 128, 128 };
inline constexpr Rgb Red { 255, 0, 0 };
inline constexpr Rgb Blue { 0, 0, 255 };
inline constexpr Rgb Fuchsia { 255, 0, 255 };
} // namespace Colours

enum class PenStyle : uint8_t { Solid, Dot };
enum class PenMix : uint8_t { Copy, NotXorPen };

struct Pen {
    Rgb Color = Colours::Black;
    int Width = 1;
    PenStyle Style = PenStyle::Solid;
    PenMix Mix = PenMix::Copy;
    bool operator==(const Pen&) const = default;
};

struct Brush {
    Rgb Color = Colours::White;
    bool Hollow = false; // true: shapes are not filled
    bool operator==(const Brush&) const = default;
};

struct Font {
    std::string Face = "Arial";
    int PointSize = 8;
    bool Bold = false;
    bool operator==(const Font&) const = default;
};

struct Point {
    int X = 0, Y = 0;
    bool operator==(const Point&) const = default;
};

class Canvas {
public:
    virtual ~Canvas() = default;

    virtual void SetPen(const Pen& pen) = 0;
    virtual Pen GetPen() const = 0;
    virtual void SetBrush(const Brush& brush) = 0;
    virtual Brush GetBrush() const = 0;
    virtual void SetFont(const Font& font) = 0;

    virtual void MoveTo(int x, int y) = 0;
    // Draws with the pen from the current position up to, not including,
    // (x, y), which becomes the current position.
    virtual void LineTo(int x, int y) = 0;
    // Fills x1..x2-1, y1..y2-1 with the brush colour (outline in the same colour).
    virtual void FillRect(int x1, int y1, int x2, int y2) = 0;
    // A closed polygon outlined with the pen and filled with the brush.
    virtual void Polygon(const std::vector<Point>& points) = 0;
    // Text with its top-left corner at (x, y), without a background fill.
    virtual void TextOut(int x, int y, std::string_view text) = 0;
    virtual int TextWidth(std::string_view text) = 0;
};

} // namespace zop
