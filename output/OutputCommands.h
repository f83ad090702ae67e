#pragma once
// The output commands of the main window: Cut, Copy and Paste through the
// clipboard, the availability of Paste, and Print. They work on the window's
// plain state; the clipboard and the printer are reached through the two
// small interfaces below, which the Qt window implements and tests fake.
#include <cstdint>
#include <optional>
#include <vector>

#include "document/DocumentCommands.h"
#include "output/ReportSheet.h"
#include "output/WaveformBlock.h"

namespace zop {

class WaveformClipboard {
public:
    virtual ~WaveformClipboard() = default;
    // Whether the clipboard holds data under the waveform format.
    virtual bool HoldsWaveform() = 0;
    // The data under the waveform format; nullopt when there is none.
    virtual std::optional<std::vector<uint8_t>> ReadWaveform() = 0;
    // Replaces the clipboard's contents by the export picture of `sheet` and,
    // when given, the waveform block. Throws when the clipboard refuses.
    virtual void Place(const SheetContent& sheet, const WaveformBlock* block) = 0;
    // Empties the clipboard.
    virtual void Empty() = 0;
};

class PagePrinter {
public:
    virtual ~PagePrinter() = default;
    // The print dialog; false when the user cancelled it.
    virtual bool ChoosePrinter() = 0;
    // One print job of one page showing `sheet`. Failures throw.
    virtual void PrintSheet(const SheetContent& sheet) = 0;
};

inline constexpr char ClipErrorText[] = "clip error";
inline constexpr char IncorrectClipboardText[] = "Incorrect Clipboard contents";

class OutputCommands {
public:
    // `document`, `clipboard` and `printer` must outlive the commands.
    OutputCommands(DocumentParts parts, DocumentCommands& document, WaveformClipboard& clipboard, PagePrinter& printer);
    OutputCommands(const OutputCommands&) = delete;
    OutputCommands& operator=(const OutputCommands&) = delete;

    // Puts the shown waveform on the clipboard: its export picture and the
    // waveform block. A clipboard that refuses gives "clip error".
    void CopyToClipboard();
    void CopyItemClick() { CopyToClipboard(); }
    // Copy, then New (which asks about unsaved changes).
    void CutItemClick();
    // Replaces the document by the waveform block on the clipboard after the
    // save question; a missing or malformed block gives "Incorrect Clipboard
    // contents". A shown document counts as unsaved afterwards in every
    // case; an empty window stays as it was.
    void PasteItemClick();
    // Paste menu item and button follow the clipboard; run at window
    // creation, activation, deactivation and when the Edit menu opens.
    void UpdatePasteAvailability();
    void EditMenuClick() { UpdatePasteAvailability(); }
    // The print dialog, then the page.
    void PrintItemClick();

    // What the sheets show of the window right now.
    SheetContent CurrentSheet() const;
    // The waveform block of the shown waveform (probe from the probe menu).
    WaveformBlock CurrentBlock() const;

private:
    FormState& m_form;
    WaveformRecord& m_record;
    DocumentFlags& m_flags;
    CursorPositions& m_cursors;
    IncomingImage& m_incoming;
    UserInterface& m_ui;
    DocumentCommands& m_document;
    WaveformClipboard& m_clipboard;
    PagePrinter& m_printer;
};

} // namespace zop
