#pragma once
// The output subsystem on Qt: the monochrome bitmap sheet, the picture files
// of Save As, the export picture as PNG and SVG, the system clipboard and the
// printer. The layouts themselves are drawn by output/ through a Canvas.
#include <QByteArray>
#include <QImage>
#include <QPrinter>
#include <functional>
#include <string>

#include "document/DocumentCommands.h"
#include "output/OutputCommands.h"
#include "output/ReportSheet.h"

class QClipboard;
class QWidget;

namespace zop {

// The MIME type under which other programs find the metafile.
inline constexpr char MetafileMimeType[] = "image/x-wmf";

// The 384 x 321 one-bit sheet: texts in a sans-serif face, the screen's trace
// picture copied to (0, 21) with white kept white and every other colour
// (graticule, zero line, trace, cursor lines) made black. Index 0 of the
// colour table is black, index 1 white.
QImage RenderBitmapSheet(const SheetContent& sheet, const QImage& screenTrace);
// The sheet as a standard BMP file of one bit per pixel.
QByteArray BitmapSheetBytes(const SheetContent& sheet, const QImage& screenTrace);

// The export picture (396 x 321 units) as an image, as PNG bytes and as an
// SVG document whose title is the description. The clipboard's pictures are
// transparent where nothing is drawn; picture files choose.
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

// The system clipboard: the waveform block under "zop_WaveForm" together with
// the export picture as WMF, PNG and SVG.
class QtWaveformClipboard final : public WaveformClipboard {
public:
    explicit QtWaveformClipboard(QClipboard* clipboard);
    bool HoldsWaveform() override;
    std::optional<std::vector<uint8_t>> ReadWaveform() override;
    void Place(const SheetContent& sheet, const WaveformBlock* block) override;
    void Empty() override;

private:
    QClipboard* m_clipboard;
};

// Prints the page on a printer that is set up (a PDF file works the same
// way): one job, one page, empty document name. Throws when the printer
// cannot start.
void PrintSheetOn(QPrinter& printer, const SheetContent& sheet);

// The standard print dialog over one printer kept for the program's life.
class QtPagePrinter final : public PagePrinter {
public:
    explicit QtPagePrinter(QWidget* dialogParent);
    bool ChoosePrinter() override;
    void PrintSheet(const SheetContent& sheet) override;
    QPrinter& Printer() { return m_printer; }

private:
    QWidget* m_dialogParent;
    QPrinter m_printer { QPrinter::HighResolution };
};

} // namespace zop
