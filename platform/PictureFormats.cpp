#include "platform/PictureFormats.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <new>
#include <stdexcept>

#include "output/WmfCanvas.h"
#include "platform/QPainterCanvas.h"
#include "waveform/Cp1252.h"

namespace zop {

namespace {

constexpr QRgb WhiteRgb = 0xFFFFFFu;

bool IsWhite(QRgb pixel)
{
    return (pixel & 0xFFFFFFu) == WhiteRgb;
}

std::vector<uint8_t> ToVector(const QByteArray& bytes)
{
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Qt gives an empty picture when it cannot get the memory for one; painting
// on it and saving it would fail without a word.
QImage NewImage(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    if (image.isNull())
        throw std::bad_alloc();
    return image;
}

// An encoder that reports no failure of its own: an empty or cut result is
// one, and with the memory it needed gone, the likeliest.
void CheckEncoded(const QByteArray& bytes, const char* end)
{
    if (bytes.isEmpty() || !bytes.trimmed().endsWith(end))
        throw std::bad_alloc();
}

// `image` in `format` (a QImageWriter name). A writer that fails on a picture
// made in memory has run out of memory.
QByteArray EncodedImage(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        throw std::bad_alloc();
    return bytes;
}

// XML 1.0 holds no control character but tab, line feed and carriage
// return, not even as a reference; the generator copies texts as they are,
// so a description with such a byte made a file no XML reader takes. Each
// becomes the replacement character (U+FFFD); the markup itself has none.
QByteArray WithoutXmlControlCharacters(const QByteArray& xml)
{
    QByteArray clean;
    clean.reserve(xml.size());
    for (const char c : xml) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            clean += "\xEF\xBF\xBD";
        else
            clean += c;
    }
    return clean;
}

} // namespace

QImage RenderBitmapSheet(const SheetContent& sheet, const QImage& screenTrace)
{
    QImage texts = NewImage(BitmapWidth, BitmapHeight, QImage::Format_RGB32);
    texts.fill(Qt::white);
    {
        QPainter painter(&texts);
        // Smoothed glyph edges would fall to either level at random.
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setRenderHint(QPainter::Antialiasing, false);
        QPainterCanvas canvas(painter);
        DrawBitmapSheetTexts(canvas, sheet);
    }
    const QImage trace = screenTrace.convertToFormat(QImage::Format_RGB32);
    if (trace.isNull() && !screenTrace.isNull())
        throw std::bad_alloc();

    QImage mono = NewImage(BitmapWidth, BitmapHeight, QImage::Format_Mono);
    mono.setColorTable({ qRgb(0, 0, 0), qRgb(255, 255, 255) });
    for (int y = 0; y < BitmapHeight; ++y) {
        const int traceRow = y - BitmapTraceTop;
        const bool inTrace = traceRow >= 0 && traceRow < trace.height();
        for (int x = 0; x < BitmapWidth; ++x) {
            bool black;
            if (inTrace && x < trace.width()) {
                // The trace area: only white stays white, so grey graticule,
                // coloured lines and inverted cursor pixels all show.
                black = !IsWhite(trace.pixel(x, traceRow));
            } else {
                black = qGray(texts.pixel(x, y)) < 128;
            }
            mono.setPixel(x, y, black ? 0 : 1);
        }
    }
    return mono;
}

QByteArray BitmapSheetBytes(const SheetContent& sheet, const QImage& screenTrace)
{
    return EncodedImage(RenderBitmapSheet(sheet, screenTrace), "BMP");
}

QImage RenderExportImage(const SheetContent& sheet, const PictureOptions& options)
{
    // Drawn in units; the device pixel ratio makes each unit Scale pixels,
    // and the resolution grows with it so the picture keeps its size on paper.
    QImage image
        = NewImage(ExportWidth * options.Scale, ExportHeight * options.Scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(options.Scale);
    image.setDotsPerMeterX(image.dotsPerMeterX() * options.Scale);
    image.setDotsPerMeterY(image.dotsPerMeterY() * options.Scale);
    image.fill(options.Background == PictureBackground::White ? Qt::white : Qt::transparent);
    {
        QPainterCanvas canvas(&image);
        RenderExportPicture(canvas, sheet);
    }
    return image;
}

QByteArray ExportPng(const SheetContent& sheet, const PictureOptions& options)
{
    const QByteArray bytes = EncodedImage(RenderExportImage(sheet, options), "PNG");
    CheckEncoded(bytes, "IEND\xAE\x42\x60\x82");
    return bytes;
}

QByteArray ExportSvg(const SheetContent& sheet, const PictureOptions& options)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(ExportWidth, ExportHeight));
    generator.setViewBox(QRect(0, 0, ExportWidth, ExportHeight));
    generator.setResolution(96);
    // The generator writes both texts into the XML as they stand: a "&" or
    // "<" in a description would make the file unreadable.
    generator.setTitle(QString::fromStdString(Cp1252ToUtf8(sheet.Description)).toHtmlEscaped());
    generator.setDescription(QString::fromStdString(Cp1252ToUtf8(sheet.Date + " " + sheet.Time)).toHtmlEscaped());
    {
        QPainter painter;
        if (!painter.begin(&generator))
            throw std::bad_alloc();
        if (options.Background == PictureBackground::White)
            painter.fillRect(QRect(0, 0, ExportWidth, ExportHeight), Qt::white);
        QPainterCanvas canvas(painter);
        RenderExportPicture(canvas, sheet);
        painter.end();
    }
    CheckEncoded(bytes, "</svg>");
    return WithoutXmlControlCharacters(bytes);
}

QtPictureFiles::QtPictureFiles(std::function<SheetContent()> sheet, std::function<QImage()> screenTrace)
    : m_sheet(std::move(sheet))
    , m_screenTrace(std::move(screenTrace))
{
}

void QtPictureFiles::WriteBitmap(const std::string& path)
{
    WritePictureFile(path, ToVector(BitmapSheetBytes(m_sheet(), m_screenTrace())));
}

void QtPictureFiles::WriteMetafile(const std::string& path)
{
    WritePictureFile(path, ExportMetafile(m_sheet()));
}

void PaintPrintedPage(QPagedPaintDevice& page, const SheetContent& sheet)
{
    QPainter painter;
    if (!painter.begin(&page))
        throw std::runtime_error("The printer could not start the print job");
    const int unit = PrintUnit(page.width());
    {
        QPainterCanvas canvas(painter);
        PrintPage(canvas, unit, sheet);
    }
    if (!painter.end())
        throw std::runtime_error("The print job could not be finished");
}

QByteArray PdfPageBytes(const SheetContent& sheet, const QPageLayout& layout, int dpi)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(dpi);
        writer.setPageLayout(layout);
        PaintPrintedPage(writer, sheet);
    }
    CheckEncoded(bytes, "%%EOF");
    return bytes;
}

void WritePdfFile(const std::string& path, const SheetContent& sheet, const QPageLayout& layout, int dpi)
{
    WritePictureFile(path, ToVector(PdfPageBytes(sheet, layout, dpi)));
}

} // namespace zop
