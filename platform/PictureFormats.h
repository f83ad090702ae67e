#pragma once
// The pictures the window and zop5-tool draw with Qt's painting, without
// widgets: the monochrome bitmap sheet, the export picture as PNG and SVG,
// Save As's picture files and the printed page on any paged device (a
// printer, a PDF file). The layouts themselves are drawn by output/ through a
// Canvas.
#include <QByteArray>
#include <QImage>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <functional>
#include <string>

#include "document/DocumentCommands.h"
#include "output/ReportSheet.h"

namespace zop {

// The 384 x 321 one-bit sheet: texts in a sans-serif face, the screen's trace
// picture copied to (0, 21) with white kept white and every other colour
// (graticule, zero line, trace, cursor lines) made black. Index 0 of the
// colour table is black, index 1 white.
QImage RenderBitmapSheet(const SheetContent& sheet, const QImage& screenTrace);
// The sheet as a standard BMP file of one bit per pixel.
QByteArray BitmapSheetBytes(const SheetContent& sheet, const QImage& screenTrace);

// The export picture (396 x 321 units) as an image, as PNG bytes and as an
// SVG document whose title is the description. The clipboard's pictures are
// transparent where nothing is drawn; picture files choose. Each throws
// std::bad_alloc when the memory runs out, rather than giving a picture that
// is not one; control characters of the texts, which XML cannot hold, are
// replacement characters in the SVG.
inline constexpr PictureOptions ClipboardPicture { 1, PictureBackground::Transparent };
QImage RenderExportImage(const SheetContent& sheet, const PictureOptions& options = ClipboardPicture);
QByteArray ExportPng(const SheetContent& sheet, const PictureOptions& options = ClipboardPicture);
QByteArray ExportSvg(const SheetContent& sheet, const PictureOptions& options = ClipboardPicture);

// Save As's picture types for the window: the sheet and the screen picture
// are read when a file is written. Failures throw FileError ("Cannot create
// file <path>" when the file cannot be made).
class QtPictureFiles final : public PictureFiles {
public:
    QtPictureFiles(std::function<SheetContent()> sheet, std::function<QImage()> screenTrace);
    void WriteBitmap(const std::string& path) override;
    void WriteMetafile(const std::string& path) override;

private:
    std::function<SheetContent()> m_sheet;
    std::function<QImage()> m_screenTrace;
};

// The printed page on `page` from the top-left corner of its printable area:
// one page, laid out for the device's printable width. Throws when the
// device cannot start or finish the page.
void PaintPrintedPage(QPagedPaintDevice& page, const SheetContent& sheet);

// The printed page as the bytes of a PDF file, on the paper and margins of
// `layout` at `dpi`. Throws std::bad_alloc when the memory runs out.
QByteArray PdfPageBytes(const SheetContent& sheet, const QPageLayout& layout, int dpi);
// The printed page as a PDF file, complete or not at all: an existing file
// is replaced only once the new one is written (see WritePictureFile). Qt's
// own PDF file writing reports no failed write.
void WritePdfFile(const std::string& path, const SheetContent& sheet, const QPageLayout& layout, int dpi);

} // namespace zop
