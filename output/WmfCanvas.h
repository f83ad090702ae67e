#pragma once
// A canvas that records what is drawn on it as a Windows metafile (the 16-bit
// form, not the enhanced one) and hands it out in the placeable file form:
// the 22-byte header with its checksum, the metafile header, the records and
// the end record. One logical unit is one screen pixel; the picture is mapped
// anisotropically onto its bounding box, which the header gives in hundredths
// of a millimetre (2540 per inch) for a 96 dpi screen.
//
// GDI objects (pens, brushes, the font) are created when a drawing operation
// first needs them and deleted when replaced, so the player never holds more
// than a few at a time.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display/Canvas.h"

namespace zop {

namespace Wmf {
// Record functions used by the writer.
inline constexpr uint16_t Eof = 0x0000;
inline constexpr uint16_t SetBkMode = 0x0102;
inline constexpr uint16_t SetMapMode = 0x0103;
inline constexpr uint16_t SetRop2 = 0x0104;
inline constexpr uint16_t SetWindowOrg = 0x020B;
inline constexpr uint16_t SetWindowExt = 0x020C;
inline constexpr uint16_t SetTextColor = 0x0209;
inline constexpr uint16_t SetTextAlign = 0x012E;
inline constexpr uint16_t SelectObject = 0x012D;
inline constexpr uint16_t DeleteObject = 0x01F0;
inline constexpr uint16_t CreatePenIndirect = 0x02FA;
inline constexpr uint16_t CreateBrushIndirect = 0x02FC;
inline constexpr uint16_t CreateFontIndirect = 0x02FB;
inline constexpr uint16_t MoveTo = 0x0214;
inline constexpr uint16_t LineTo = 0x0213;
inline constexpr uint16_t Rectangle = 0x041B;
inline constexpr uint16_t Polygon = 0x0324;
inline constexpr uint16_t TextOut = 0x0521;

inline constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
inline constexpr int PlaceableHeaderBytes = 22;
inline constexpr int MetaHeaderBytes = 18;
inline constexpr int UnitsPerInch = 2540;
} // namespace Wmf

class WmfCanvas final : public Canvas {
public:
    // A picture of width x height screen pixels.
    WmfCanvas(int width, int height);

    void SetPen(const Pen& pen) override { m_pen = pen; }
    Pen GetPen() const override { return m_pen; }
    void SetBrush(const Brush& brush) override { m_brush = brush; }
    Brush GetBrush() const override { return m_brush; }
    void SetFont(const Font& font) override { m_font = font; }

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void FillRect(int x1, int y1, int x2, int y2) override;
    void Polygon(const std::vector<Point>& points) override;
    void TextOut(int x, int y, std::string_view text) override;
    int TextWidth(std::string_view text) override;

    // The whole placeable metafile as it is stored in a file.
    std::vector<uint8_t> PlaceableBytes() const;
    // The metafile without the placeable header (the form clipboards carry).
    std::vector<uint8_t> MetafileBytes() const;

private:
    enum Slot { PenSlot, BrushSlot, FontSlot, SlotCount };

    void Record(uint16_t function, std::initializer_list<int> params);
    void Record(uint16_t function, const std::vector<uint16_t>& params);
    void UsePen(const Pen& pen);
    void UseBrush(const Brush& brush);
    void UseFont();
    void UseMix(PenMix mix);
    // Creates an object from `params` and puts it in place of the one `slot`
    // held before (selected first, then the old one deleted).
    void Replace(Slot slot, uint16_t createFunction, const std::vector<uint16_t>& params);

    int m_width;
    int m_height;
    Pen m_pen;
    Brush m_brush;
    Font m_font;

    std::vector<uint16_t> m_records;
    uint32_t m_maxRecordWords = 0;
    // Which player object table index holds what; -1 free.
    std::vector<int> m_objectTable;
    std::array<int, SlotCount> m_selectedIndex { -1, -1, -1 };
    std::optional<Pen> m_selectedPen;
    std::optional<Brush> m_selectedBrush;
    std::optional<Font> m_selectedFont;
    PenMix m_selectedMix = PenMix::Copy;
};

// Writes a picture file so that a failure leaves an existing file as it was.
// Throws FileError: "Cannot create file <path>" when the file cannot be
// created, the platform's message when writing it fails.
void WritePictureFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace zop
