#include "output/OutputCommands.h"

#include <exception>

namespace zop {

OutputCommands::OutputCommands(
    DocumentParts parts, DocumentCommands& document, WaveformClipboard& clipboard, PagePrinter& printer)
    : m_form(parts.Form)
    , m_record(parts.Record)
    , m_flags(parts.Flags)
    , m_cursors(parts.Cursors)
    , m_incoming(parts.Incoming)
    , m_ui(parts.Ui)
    , m_document(document)
    , m_clipboard(clipboard)
    , m_printer(printer)
{
}

SheetContent OutputCommands::CurrentSheet() const
{
    return SheetFromWindow(m_form, m_record, m_cursors);
}

WaveformBlock OutputCommands::CurrentBlock() const
{
    BlockContent content;
    content.Samples = m_record.Samples;
    content.TimeIndex = m_record.TimeIndex;
    content.VoltIndex = m_record.VoltIndex;
    content.ZeroRef = m_record.ZeroRef;
    content.ProbeFactor = m_form.ProbeMenuFactor(); // the probe as shown, not as saved
    content.Cursors = m_cursors;
    content.Description = m_form.Description.Text();
    content.Date = m_form.DateField.Text();
    content.Time = m_form.TimeField.Text();
    return EncodeWaveformBlock(content);
}

void OutputCommands::CopyToClipboard()
{
    // A block that cannot be built is left out; the picture still goes.
    std::optional<WaveformBlock> block;
    try {
        block = CurrentBlock();
    } catch (const std::exception&) {
        block.reset();
    }
    const SheetContent sheet = CurrentSheet();
    try {
        m_clipboard.Place(sheet, block ? &*block : nullptr);
        m_form.SetPasteAvailable(true);
    } catch (const std::exception&) {
        m_ui.Message(BoxKind::Plain, ClipErrorText, BoxButtons::Ok);
        m_form.SetPasteAvailable(false);
        try {
            m_clipboard.Empty();
        } catch (const std::exception&) {
            // Nothing more can be done about a clipboard that refuses.
        }
    }
}

void OutputCommands::CutItemClick()
{
    CopyToClipboard();
    m_document.NewItemClick();
}

void OutputCommands::PasteItemClick()
{
    bool pasted = false;
    try {
        const std::optional<std::vector<uint8_t>> data = m_clipboard.ReadWaveform();
        const std::optional<IncomingImage> image = data ? DecodeWaveformBlock(*data) : std::nullopt;
        if (image) {
            m_incoming = *image;
            if (!m_flags.Unsaved() || m_document.ConfirmSave()) {
                m_document.ApplyIncoming("");
            }
            pasted = true;
        }
    } catch (const std::exception&) {
        pasted = false;
    }
    if (!pasted) {
        m_ui.Message(BoxKind::Error, IncorrectClipboardText, BoxButtons::Ok);
    }
    // A pasted waveform counts as unsaved, and so does the current one after
    // a declined or failed paste. An empty window stays empty and has
    // nothing to save: marking it would ask to save it on closing and write
    // a file without labels that cannot be opened again.
    if (m_form.WaveformShown())
        m_flags.Modified = true;
}

void OutputCommands::UpdatePasteAvailability()
{
    bool holds = false;
    try {
        holds = m_clipboard.HoldsWaveform();
    } catch (const std::exception&) {
        holds = false;
    }
    m_form.SetPasteAvailable(holds);
}

void OutputCommands::PrintItemClick()
{
    if (!m_printer.ChoosePrinter()) {
        return;
    }
    m_printer.PrintSheet(CurrentSheet());
}

} // namespace zop
