#pragma once
// The main window without a window: its state objects and the very command
// handlers the window runs (document commands, trace view), driven from the
// command line. Opening a file is the Open command, the probe switch is the
// probe command, crosses are placed by mouse events, so every text the tool
// prints is the one the window would show.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display/TracePicture.h"
#include "display/TraceView.h"
#include "document/DocumentCommands.h"
#include "document/FormState.h"
#include "document/UserInterface.h"
#include "waveform/WaveformRecord.h"

namespace zop {

// Answers the window's questions as a command-line program does: the file
// dialogs return the names given on the command line, an overwrite question
// is answered yes (the command line named the file), a save question no.
// Messages are kept for the caller to print.
class HeadlessUserInterface final : public UserInterface {
public:
    Answer Message(BoxKind kind, const std::string& text, BoxButtons buttons) override;
    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override;
    void RestoreAndRaise() override { }
    void CloseWindow() override { }

    // What the next file dialog returns.
    std::string NextFileName;
    int NextFilterIndex = 1;
    // Error and warning texts shown so far (Windows-1252).
    std::vector<std::string> Messages;
};

// The system's short date and long time, as a transfer dates its waveform.
class SystemDateTime final : public DateTimeSource {
public:
    std::string CurrentDate() override;
    std::string CurrentTime() override;
};

class HeadlessWindow {
public:
    // `picture` receives the trace drawing; without one the drawing is
    // discarded (nothing is shown anyway). `pictures` writes Save As's
    // bitmap and metafile; without one they are refused. `clock` dates a
    // received waveform; without one the C library's formats are used.
    explicit HeadlessWindow(TraceMode mode = TraceMode::Smooth, TracePicture* picture = nullptr,
        PictureFiles* pictures = nullptr, DateTimeSource* clock = nullptr);
    ~HeadlessWindow();
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;

    // The Open command on `path`. False when the file was refused; the
    // window's message ("Incorrect file type") is then in Ui().Messages.
    bool Open(const std::string& path);
    // The probe menu: 1 or 10.
    void SelectProbe(int32_t factor);
    // A press with the left button at sample column `first` and a release at
    // column `second` (0..95).
    void PlaceCursors(int first, int second);
    // Save As with the given type (1 waveform, 2 bitmap, 3 metafile) to
    // `path`. Failures throw with the text the window would show.
    void SaveAs(const std::string& path, int filterIndex);

    FormState& Form() { return m_form; }
    const FormState& Form() const { return m_form; }
    const WaveformRecord& Record() const { return m_record; }
    WaveformRecord& Record() { return m_record; }
    const DocumentFlags& Flags() const { return m_flags; }
    DocumentFlags& Flags() { return m_flags; }
    DateTimeSource& Clock() { return *m_activeClock; }
    const CursorPositions& Cursors() const { return m_cursors; }
    IncomingImage& Incoming() { return m_incoming; }
    DocumentParts Parts() { return { m_form, m_record, m_flags, m_cursors, m_incoming, m_ui }; }
    HeadlessUserInterface& Ui() { return m_ui; }
    TraceView& View() { return *m_view; }
    DocumentCommands& Document() { return *m_document; }

private:
    FormState m_form;
    WaveformRecord m_record;
    DocumentFlags m_flags;
    CursorPositions m_cursors;
    IncomingImage m_incoming;
    HeadlessUserInterface m_ui;
    SystemDateTime m_clock;
    DateTimeSource* m_activeClock;
    std::unique_ptr<TracePicture> m_ownPicture;
    NoPictureFiles m_noPictures;
    std::unique_ptr<TraceView> m_view;
    std::unique_ptr<DocumentCommands> m_document;
};

} // namespace zop
