#include "app/OutputQt.h"

#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QPrintDialog>
#include <stdexcept>

#include "output/WmfCanvas.h"

namespace zop {

namespace {

std::vector<uint8_t> ToVector(const QByteArray& bytes)
{
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

} // namespace

QtWaveformClipboard::QtWaveformClipboard(QClipboard* clipboard)
    : m_clipboard(clipboard)
{
}

bool QtWaveformClipboard::HoldsWaveform()
{
    const QMimeData* data = m_clipboard ? m_clipboard->mimeData() : nullptr;
    return data && data->hasFormat(WaveformFormatName);
}

std::optional<std::vector<uint8_t>> QtWaveformClipboard::ReadWaveform()
{
    const QMimeData* data = m_clipboard ? m_clipboard->mimeData() : nullptr;
    if (!data || !data->hasFormat(WaveformFormatName))
        return std::nullopt;
    return ToVector(data->data(WaveformFormatName));
}

void QtWaveformClipboard::Place(const SheetContent& sheet, const WaveformBlock* block)
{
    if (!m_clipboard)
        throw std::runtime_error("There is no clipboard");
    auto* data = new QMimeData;
    const std::vector<uint8_t> metafile = ExportMetafile(sheet);
    data->setData(MetafileMimeType,
        QByteArray(reinterpret_cast<const char*>(metafile.data()), static_cast<qsizetype>(metafile.size())));
    data->setData("image/png", ExportPng(sheet));
    data->setData("image/svg+xml", ExportSvg(sheet));
    if (block)
        data->setData(WaveformFormatName,
            QByteArray(reinterpret_cast<const char*>(block->data()), static_cast<qsizetype>(block->size())));
    m_clipboard->setMimeData(data); // the clipboard owns it from here
    // The window system may refuse us the selection; then nothing was placed.
    const QMimeData* placed = m_clipboard->mimeData();
    if (!placed || !placed->hasFormat("image/png") || (block && !placed->hasFormat(WaveformFormatName)))
        throw std::runtime_error("The clipboard did not take the data");
}

void QtWaveformClipboard::Empty()
{
    if (m_clipboard)
        m_clipboard->clear();
}

void PrintSheetOn(QPrinter& printer, const SheetContent& sheet)
{
    printer.setDocName(QString());
    printer.setFullPage(false); // origin at the top-left corner of the printable area
    PaintPrintedPage(printer, sheet);
}

QtPagePrinter::QtPagePrinter(QWidget* dialogParent)
    : m_dialogParent(dialogParent)
{
}

bool QtPagePrinter::ChoosePrinter()
{
    QPrintDialog dialog(&m_printer, m_dialogParent);
    return dialog.exec() == QDialog::Accepted;
}

void QtPagePrinter::PrintSheet(const SheetContent& sheet)
{
    // Printing to a file: Qt's PDF printer reports no failed write, so the
    // page is made in memory and written as every picture file is.
    if (m_printer.outputFormat() == QPrinter::PdfFormat && !m_printer.outputFileName().isEmpty()) {
        WritePdfFile(QFile::encodeName(m_printer.outputFileName()).toStdString(), sheet, m_printer.pageLayout(),
            m_printer.resolution());
        return;
    }
    PrintSheetOn(m_printer, sheet);
}

} // namespace zop
