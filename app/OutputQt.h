#pragma once
// The output commands' clipboard and printer on Qt Widgets: the system
// clipboard and the print dialog. The pictures they carry are drawn by
// platform/PictureFormats.
#include <QByteArray>
#include <QPrinter>

#include "output/OutputCommands.h"
#include "output/ReportSheet.h"
#include "platform/PictureFormats.h"

class QClipboard;
class QWidget;

namespace zop {

// The MIME type under which other programs find the metafile.
inline constexpr char MetafileMimeType[] = "image/x-wmf";

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

// Prints the page on a printer that is set up: one job, one page, empty
// document name. Throws when the printer cannot start.
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
