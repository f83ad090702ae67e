#pragma once
// The commands that name, save, replace and clear the main window's one
// waveform document, the save question every replacing command asks first,
// and the small window commands around them (New, close, the date and time
// double-click, the change handlers, activation). They work on the window's
// plain state; the Qt window only routes its events here and mirrors the
// state into its widgets.
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "document/FormState.h"
#include "document/UserInterface.h"
#include "waveform/Cp1252.h"
#include "waveform/WaveformRecord.h"

namespace zop {

// What the display does for the document: the measurements (panels 2 to 5
// and Clipped), the trace picture, and the empty graticule for New. A hook
// left empty does nothing.
struct DisplayHooks {
    std::function<void()> UpdateMeasurements;
    std::function<void()> RedrawTrace;
    std::function<void()> ShowEmptyGraticule;
};

// The picture types of Save As: the monochrome bitmap and the metafile of the
// shown waveform. Failures throw; their text reaches the general error report.
class PictureFiles {
public:
    virtual ~PictureFiles() = default;
    virtual void WriteBitmap(const std::string& path) = 0;
    virtual void WriteMetafile(const std::string& path) = 0;
};

// Used while the program has no picture export: both refuse with a
// NotAvailableError instead of pretending to have written something.
class NoPictureFiles final : public PictureFiles {
public:
    void WriteBitmap(const std::string& path) override;
    void WriteMetafile(const std::string& path) override;
};

// The current date in the system's short date form and the current time in
// its long time form, as Windows-1252 texts.
class DateTimeSource {
public:
    virtual ~DateTimeSource() = default;
    virtual std::string CurrentDate() = 0;
    virtual std::string CurrentTime() = 0;
};

// The window's state the commands work on; all owned by the window.
struct DocumentParts {
    FormState& Form;
    WaveformRecord& Record;
    DocumentFlags& Flags;
    CursorPositions& Cursors;
    IncomingImage& Incoming;
    UserInterface& Ui;
};

// A waveform to put on screen as the document, whatever brought it: a
// transfer, a file, the clipboard.
struct ShownWaveform {
    std::string FileName; // empty: untitled
    std::string Caption;
    IncomingImage Image; // its probe factor is the one shown with it, 1 or 10
    // A transfer brings no crosses: those shown stay where they are.
    bool TakesCursors = true;
    // A waveform from a file or the clipboard counts as saved; a received
    // one asks to be saved before it goes.
    bool CountsAsSaved = true;
};

// The save dialog's types, its 1-based filter index.
enum class SaveType : int { Waveform = 1, Bitmap = 2, Metafile = 3 };

class DocumentCommands {
public:
    // Sets the change handlers of the three fields, which mark the document
    // modified. `pictures` and `clock` must outlive the commands.
    DocumentCommands(DocumentParts parts, DisplayHooks display, PictureFiles& pictures, DateTimeSource& clock);
    DocumentCommands(const DocumentCommands&) = delete;
    DocumentCommands& operator=(const DocumentCommands&) = delete;

    // The link's flag that a received transfer is complete and not yet
    // applied; it changes the save question's wording. Unset: never complete.
    void SetTransferFlag(const bool& transferComplete) { m_transferComplete = &transferComplete; }
    void SetPictureFiles(PictureFiles& pictures) { m_pictures = &pictures; }

    // Asks whether to save the unsaved document: Yes saves (and a save that
    // is cancelled gives false), No goes on, Cancel gives false. True means
    // the caller may go on. A save that fails shows its error in the general
    // error report and gives false; nothing escapes. Callers ask only while
    // the document is unsaved.
    bool ConfirmSave();

    // Save: a titled document is written as a waveform file under its name
    // with the extension .zop, without asking; an untitled one goes to Save As.
    bool SaveItemClick();
    // Save As with the save dialog; false when cancelled or an overwrite is
    // refused (the document then becomes untitled).
    bool SaveasItemClick();
    // Open: the save question, the open dialog, the reader; a refused file
    // gives "Incorrect file type".
    void OpenItemClick();
    // The system's error number when the last file Open refused could not be
    // read at all (missing, no permission, a folder), else 0.
    int OpenUnreadable() const { return m_openUnreadable; }
    // Files dropped on the window: exactly one acceptable waveform file
    // replaces the document; anything else is ignored without a message.
    void DropFiles(const std::vector<std::string>& paths);
    // The file named on the command line; a refused file is ignored.
    void OpenStartupFile(const std::string& path);
    // Shows the incoming image as the document, named `name` (may be empty).
    void ApplyIncoming(const std::string& name);
    // The one way a waveform becomes the shown document: fields, panels,
    // record, probe, measurements, crosses and picture. `display` measures
    // and draws it (the caller's hooks, by default the document's).
    void ShowWaveform(const ShownWaveform& waveform);
    void ShowWaveform(const ShownWaveform& waveform, const DisplayHooks& display);

    // New: clears the document after the save question.
    void NewItemClick();
    // Closing the window: whether it may close. The window then writes the
    // configuration.
    bool FormCloseQuery();
    void ExitItemClick();

    void DateFieldDblClick();
    void TimeFieldDblClick();
    void DescriptionChange();
    void DateFieldChange();
    void TimeFieldChange();

    // The window was activated or deactivated: Paste follows the clipboard.
    void FormActivate(bool clipboardHoldsWaveform);

    // The save dialog's type, remembered between uses; starts at 1.
    int SaveFilterIndex() const { return m_saveFilterIndex; }

private:
    bool WriteAsPicture(SaveType type);
    void SetCaptionFromName(const std::string& name);

    FormState& m_form;
    WaveformRecord& m_record;
    DocumentFlags& m_flags;
    CursorPositions& m_cursors;
    IncomingImage& m_incoming;
    UserInterface& m_ui;
    DisplayHooks m_display;
    PictureFiles* m_pictures;
    DateTimeSource& m_clock;
    const bool* m_transferComplete;
    int m_saveFilterIndex = 1;
    int m_openUnreadable = 0;
};

// The program's general error report: runs `command`; a failure that nothing
// below handled shows one error box with the exception's text (UTF-8 in the
// exception, shown as Windows-1252; "Out of memory" for a failed allocation),
// and the program goes on. Returns whether the command ran to its end.
template <class Command> bool RunCommand(UserInterface& ui, Command&& command)
{
    try {
        command();
        return true;
    } catch (const std::bad_alloc&) {
        ui.Message(BoxKind::Error, "Out of memory", BoxButtons::Ok);
    } catch (const std::exception& error) {
        ui.Message(BoxKind::Error, Utf8ToCp1252(error.what()), BoxButtons::Ok);
    } catch (...) {
        ui.Message(BoxKind::Error, "Unknown error", BoxButtons::Ok);
    }
    return false;
}

} // namespace zop
