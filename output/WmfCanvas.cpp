#include "output/WmfCanvas.h"

#include <algorithm>
#include <cerrno>

#include "document/FileError.h"
#include "document/SafeFile.h"
#include "output/ArialMetrics.h"

namespace zop {

namespace {

constexpr uint16_t MapModeAnisotropic = 8;
constexpr uint16_t BkModeTransparent = 1;
constexpr uint16_t TextAlignTopLeft = 0;
constexpr uint16_t Rop2CopyPen = 13;
constexpr uint16_t Rop2NotXorPen = 10;
constexpr uint16_t PenStyleSolid = 0;
constexpr uint16_t PenStyleDot = 2;
constexpr uint16_t BrushStyleSolid = 0;
constexpr uint16_t BrushStyleNull = 1;
constexpr uint16_t WeightNormal = 400;
constexpr uint16_t WeightBold = 700;
constexpr size_t FaceNameBytes = 32;
constexpr int ScreenDpi = 96;

uint16_t Coord(int value)
{
    return static_cast<uint16_t>(static_cast<int16_t>(std::clamp(value, -32768, 32767)));
}

// COLORREF 0x00BBGGRR as two words, low word first.
void PushColour(std::vector<uint16_t>& words, Rgb colour)
{
    words.push_back(static_cast<uint16_t>(colour.R | (colour.G << 8)));
    words.push_back(colour.B);
}

void PushWord(std::vector<uint8_t>& bytes, uint16_t word)
{
    bytes.push_back(static_cast<uint8_t>(word & 0xFF));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
}

void PushDword(std::vector<uint8_t>& bytes, uint32_t value)
{
    PushWord(bytes, static_cast<uint16_t>(value & 0xFFFF));
    PushWord(bytes, static_cast<uint16_t>(value >> 16));
}

// Packs bytes into words, low byte first, padded with zero to an even length.
void PushBytes(std::vector<uint16_t>& words, std::string_view bytes, size_t paddedLength)
{
    std::string padded(bytes);
    padded.resize(std::max(paddedLength, (bytes.size() + 1) & ~size_t { 1 }), '\0');
    for (size_t i = 0; i < padded.size(); i += 2) {
        words.push_back(static_cast<uint16_t>(
            static_cast<unsigned char>(padded[i]) | (static_cast<unsigned char>(padded[i + 1]) << 8)));
    }
}

} // namespace

WmfCanvas::WmfCanvas(int width, int height)
    : m_width(width)
    , m_height(height)
{
    Record(Wmf::SetMapMode, { MapModeAnisotropic });
    Record(Wmf::SetWindowOrg, { 0, 0 });
    Record(Wmf::SetWindowExt, { height, width });
    Record(Wmf::SetBkMode, { BkModeTransparent });
    Record(Wmf::SetTextAlign, { TextAlignTopLeft });
    std::vector<uint16_t> black;
    PushColour(black, Colours::Black);
    Record(Wmf::SetTextColor, black);
}

void WmfCanvas::Record(uint16_t function, std::initializer_list<int> params)
{
    std::vector<uint16_t> words;
    for (int p : params) {
        words.push_back(Coord(p));
    }
    Record(function, words);
}

void WmfCanvas::Record(uint16_t function, const std::vector<uint16_t>& params)
{
    const uint32_t size = static_cast<uint32_t>(3 + params.size());
    m_records.push_back(static_cast<uint16_t>(size & 0xFFFF));
    m_records.push_back(static_cast<uint16_t>(size >> 16));
    m_records.push_back(function);
    m_records.insert(m_records.end(), params.begin(), params.end());
    m_maxRecordWords = std::max(m_maxRecordWords, size);
}

void WmfCanvas::Replace(Slot slot, uint16_t createFunction, const std::vector<uint16_t>& params)
{
    // The player puts a new object in the lowest free entry of its table.
    auto freeEntry = std::find(m_objectTable.begin(), m_objectTable.end(), -1);
    int index;
    if (freeEntry == m_objectTable.end()) {
        index = static_cast<int>(m_objectTable.size());
        m_objectTable.push_back(slot);
    } else {
        index = static_cast<int>(freeEntry - m_objectTable.begin());
        *freeEntry = slot;
    }
    Record(createFunction, params);
    Record(Wmf::SelectObject, { index });
    const int old = m_selectedIndex[slot];
    if (old >= 0) {
        Record(Wmf::DeleteObject, { old });
        m_objectTable[static_cast<size_t>(old)] = -1;
    }
    m_selectedIndex[slot] = index;
}

void WmfCanvas::UsePen(const Pen& pen)
{
    UseMix(pen.Mix);
    Pen drawn = pen;
    drawn.Mix = PenMix::Copy; // the mix is device context state, not part of the pen
    if (m_selectedPen == drawn) {
        return;
    }
    std::vector<uint16_t> params;
    params.push_back(pen.Style == PenStyle::Dot ? PenStyleDot : PenStyleSolid);
    params.push_back(Coord(pen.Width));
    params.push_back(0);
    PushColour(params, pen.Color);
    Replace(PenSlot, Wmf::CreatePenIndirect, params);
    m_selectedPen = drawn;
}

void WmfCanvas::UseBrush(const Brush& brush)
{
    if (m_selectedBrush == brush) {
        return;
    }
    std::vector<uint16_t> params;
    params.push_back(brush.Hollow ? BrushStyleNull : BrushStyleSolid);
    PushColour(params, brush.Color);
    params.push_back(0); // hatch
    Replace(BrushSlot, Wmf::CreateBrushIndirect, params);
    m_selectedBrush = brush;
}

void WmfCanvas::UseFont()
{
    if (m_selectedFont == m_font) {
        return;
    }
    std::vector<uint16_t> params;
    params.push_back(Coord(-FontEmPixels(m_font.PointSize))); // negative: character height
    params.push_back(0); // width: the face's own
    params.push_back(0); // escapement
    params.push_back(0); // orientation
    params.push_back(m_font.Bold ? WeightBold : WeightNormal);
    params.push_back(0); // not italic, not underlined
    params.push_back(0); // not struck out, ANSI character set
    params.push_back(0); // default output and clip precision
    params.push_back(0); // default quality, pitch and family
    PushBytes(params, std::string_view(m_font.Face).substr(0, FaceNameBytes - 1), FaceNameBytes);
    Replace(FontSlot, Wmf::CreateFontIndirect, params);
    m_selectedFont = m_font;
}

void WmfCanvas::UseMix(PenMix mix)
{
    if (mix != m_selectedMix) {
        Record(Wmf::SetRop2, { mix == PenMix::NotXorPen ? Rop2NotXorPen : Rop2CopyPen });
        m_selectedMix = mix;
    }
}

void WmfCanvas::MoveTo(int x, int y)
{
    Record(Wmf::MoveTo, { y, x });
}

void WmfCanvas::LineTo(int x, int y)
{
    UsePen(m_pen);
    Record(Wmf::LineTo, { y, x });
}

void WmfCanvas::FillRect(int x1, int y1, int x2, int y2)
{
    if (m_brush.Hollow || x2 <= x1 || y2 <= y1) {
        return;
    }
    // A rectangle drawn with a one-pixel pen covers x1..x2-1 and y1..y2-1,
    // outline included; the outline takes the fill colour.
    UsePen(Pen { m_brush.Color, 1, PenStyle::Solid, m_pen.Mix });
    UseBrush(m_brush);
    Record(Wmf::Rectangle, { y2, x2, y1, x1 });
}

void WmfCanvas::Polygon(const std::vector<Point>& points)
{
    if (points.empty()) {
        return;
    }
    UsePen(m_pen);
    UseBrush(m_brush);
    std::vector<uint16_t> params;
    params.push_back(Coord(static_cast<int>(points.size())));
    for (const Point& p : points) {
        params.push_back(Coord(p.X));
        params.push_back(Coord(p.Y));
    }
    Record(Wmf::Polygon, params);
}

void WmfCanvas::TextOut(int x, int y, std::string_view text)
{
    if (text.empty()) {
        return;
    }
    UseFont();
    text = text.substr(0, 0x7FFF);
    std::vector<uint16_t> params;
    params.push_back(static_cast<uint16_t>(text.size()));
    PushBytes(params, text, 0);
    params.push_back(Coord(y));
    params.push_back(Coord(x));
    Record(Wmf::TextOut, params);
}

int WmfCanvas::TextWidth(std::string_view text)
{
    return ArialTextWidth(text, FontEmPixels(m_font.PointSize));
}

std::vector<uint8_t> WmfCanvas::MetafileBytes() const
{
    const uint32_t eofWords = 3;
    const uint32_t totalWords = Wmf::MetaHeaderBytes / 2 + static_cast<uint32_t>(m_records.size()) + eofWords;
    std::vector<uint8_t> bytes;
    bytes.reserve(totalWords * 2);
    PushWord(bytes, 1); // a metafile in memory
    PushWord(bytes, Wmf::MetaHeaderBytes / 2);
    PushWord(bytes, 0x0300); // with device-independent bitmaps
    PushDword(bytes, totalWords);
    PushWord(bytes, static_cast<uint16_t>(std::max<size_t>(m_objectTable.size(), 1)));
    PushDword(bytes, std::max(m_maxRecordWords, eofWords));
    PushWord(bytes, 0);
    for (uint16_t word : m_records) {
        PushWord(bytes, word);
    }
    PushDword(bytes, eofWords);
    PushWord(bytes, Wmf::Eof);
    return bytes;
}

std::vector<uint8_t> WmfCanvas::PlaceableBytes() const
{
    auto toHundredthsMm = [](int pixels) { return (pixels * Wmf::UnitsPerInch + ScreenDpi / 2) / ScreenDpi; };
    std::vector<uint8_t> bytes;
    PushDword(bytes, Wmf::PlaceableKey);
    PushWord(bytes, 0); // no handle
    PushWord(bytes, 0); // bounding box left, top, right, bottom
    PushWord(bytes, 0);
    PushWord(bytes, Coord(toHundredthsMm(m_width)));
    PushWord(bytes, Coord(toHundredthsMm(m_height)));
    PushWord(bytes, Wmf::UnitsPerInch);
    PushDword(bytes, 0);
    uint16_t checksum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        checksum ^= static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
    }
    PushWord(bytes, checksum);
    const std::vector<uint8_t> metafile = MetafileBytes();
    bytes.insert(bytes.end(), metafile.begin(), metafile.end());
    return bytes;
}

void WritePictureFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    try {
        WriteFileReplacing(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const FileError& e) {
        // Running out of room or a failing device is a write error and keeps
        // the platform's text; everything else means the file could not be made.
        switch (e.ErrorNumber()) {
        case ENOSPC:
        case EDQUOT:
        case EIO:
        case EFBIG:
            throw;
        default:
            throw FileError(e.ErrorNumber(), "Cannot create file " + path);
        }
    }
}

} // namespace zop
