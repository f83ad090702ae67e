#include "document/DocumentCommands.h"

#include <sys/stat.h>

#include "document/FileError.h"
#include "document/FilePaths.h"
#include "document/WaveformFile.h"

namespace zop {

namespace {

constexpr std::string_view CaptionPrefix = "Tracelet - ";
// The caption New and an unnamed paste show; the spelling is the program's own.
constexpr std::string_view UntitledAfterNew = "Tracelet - [Untiteld]";

std::string_view ExtensionOf(SaveType type)
{
    switch (type) {
    case SaveType::Bitmap:
        return ".bmp";
    case SaveType::Metafile:
        return ".wmf";
    case SaveType::Waveform:
        break;
    }
    return ".zop";
}

SaveType TypeOfIndex(int filterIndex)
{
    if (filterIndex == 2)
        return SaveType::Bitmap;
    if (filterIndex == 3)
        return SaveType::Metafile;
    return SaveType::Waveform;
}

// Any existing file counts, also one this user may not read: overwriting it
// unasked would lose it.
bool FileExists(const std::string& path)
{
    struct stat info { };
    return lstat(path.c_str(), &info) == 0;
}

void Run(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

} // namespace

void NoPictureFiles::WriteBitmap(const std::string&)
{
    throw NotAvailableError("Saving the waveform as a bitmap is not available in this version.");
}

void NoPictureFiles::WriteMetafile(const std::string&)
{
    throw NotAvailableError("Saving the waveform as a metafile is not available in this version.");
}

DocumentCommands::DocumentCommands(
    DocumentParts parts, DisplayHooks display, PictureFiles& pictures, DateTimeSource& clock)
    : m_form(parts.Form)
    , m_record(parts.Record)
    , m_flags(parts.Flags)
    , m_cursors(parts.Cursors)
    , m_incoming(parts.Incoming)
    , m_ui(parts.Ui)
    , m_display(std::move(display))
    , m_pictures(&pictures)
    , m_clock(clock)
{
    static const bool neverComplete = false;
    m_transferComplete = &neverComplete;
    m_form.Description.OnChange = [this] { DescriptionChange(); };
    m_form.DateField.OnChange = [this] { DateFieldChange(); };
    m_form.TimeField.OnChange = [this] { TimeFieldChange(); };
}

void DocumentCommands::SetCaptionFromName(const std::string& name)
{
    m_form.Caption = std::string(CaptionPrefix) + Utf8ToCp1252(FileNameOnly(name));
}

bool DocumentCommands::ConfirmSave()
{
    if (!m_record.FileName.empty())
        m_record.FileName = ChangeFileExtension(m_record.FileName, ".zop");
    std::string question;
    if (*m_transferComplete)
        question = "New waveform received!\n\r\r";
    question += "Save changes to file " + Utf8ToCp1252(m_record.FileName) + "?";
    switch (m_ui.Message(BoxKind::Confirmation, question, BoxButtons::YesNoCancel)) {
    case Answer::Yes: {
        // A save that fails is reported here, and the caller stops as after
        // Cancel: it keeps what it holds (a received waveform stays pending,
        // a paste is not mistaken for a bad clipboard).
        bool saved = false;
        RunCommand(m_ui, [&] { saved = SaveItemClick(); });
        return saved;
    }
    case Answer::No:
        return true;
    case Answer::Cancel:
    case Answer::Ok:
        break;
    }
    return false;
}

bool DocumentCommands::SaveItemClick()
{
    if (m_record.FileName.empty())
        return SaveasItemClick();
    m_record.FileName = ChangeFileExtension(m_record.FileName, ".zop");
    WriteWaveformFile(m_record.FileName, m_form, m_record, m_flags);
    return true;
}

bool DocumentCommands::SaveasItemClick()
{
    m_record.FileName = ChangeFileExtension(m_record.FileName, ExtensionOf(TypeOfIndex(m_saveFilterIndex)));

    FileDialogRequest request;
    request.Filters = { { "WaveForm file (*.zop)", "*.zop" }, { "Windows Bitmap (*.bmp)", "*.bmp" },
        { "Windows Metafile (*.wmf)", "*.wmf" } };
    request.FilterIndex = m_saveFilterIndex;
    request.FileName = m_record.FileName;
    request.DefaultExtension = "*.ZOP";
    const std::optional<FileDialogResult> chosen = m_ui.SaveFileDialog(request);
    if (!chosen) {
        m_record.FileName.clear();
        return false;
    }
    m_saveFilterIndex = static_cast<int>(TypeOfIndex(chosen->FilterIndex));
    const SaveType type = TypeOfIndex(m_saveFilterIndex);
    m_record.FileName = ChangeFileExtension(chosen->FileName, ExtensionOf(type));

    if (FileExists(m_record.FileName)
        && m_ui.Message(BoxKind::Warning, "File exist. Overwrite it?", BoxButtons::YesNo) != Answer::Yes) {
        m_record.FileName.clear();
        return false;
    }

    if (type == SaveType::Waveform) {
        WriteWaveformFile(m_record.FileName, m_form, m_record, m_flags);
        SetCaptionFromName(m_record.FileName);
        return true;
    }
    return WriteAsPicture(type);
}

bool DocumentCommands::WriteAsPicture(SaveType type)
{
    if (type == SaveType::Bitmap)
        m_pictures->WriteBitmap(m_record.FileName);
    else
        m_pictures->WriteMetafile(m_record.FileName);
    // A picture counts as a save of the document; the caption stays.
    m_record.ProbeFactor = m_form.ProbeMenuFactor();
    m_flags.ProbeChanged = false;
    m_flags.Modified = false;
    return true;
}

void DocumentCommands::OpenItemClick()
{
    if (m_flags.Unsaved() && !ConfirmSave())
        return;
    FileDialogRequest request;
    request.Title = "Opens a waveform file";
    request.Filters = { { "Waveform file (*.zop)", "*.ZOP" } };
    request.FilterIndex = 1;
    request.DefaultExtension = "*.ZOP";
    const std::optional<FileDialogResult> chosen = m_ui.OpenFileDialog(request);
    if (!chosen)
        return;
    if (LoadWaveformFile(chosen->FileName, m_incoming, &m_openUnreadable))
        ApplyIncoming(chosen->FileName);
    else
        m_ui.Message(BoxKind::Error, "Incorrect file type", BoxButtons::Ok);
}

void DocumentCommands::DropFiles(const std::vector<std::string>& paths)
{
    if (paths.size() != 1)
        return;
    const std::string& path = paths.front();
    if (!LoadWaveformFile(path, m_incoming))
        return;
    m_ui.RestoreAndRaise();
    if (m_flags.Unsaved() && !ConfirmSave())
        return;
    ApplyIncoming(path);
}

void DocumentCommands::OpenStartupFile(const std::string& path)
{
    if (path.empty())
        return;
    if (LoadWaveformFile(path, m_incoming))
        ApplyIncoming(path);
}

void DocumentCommands::ApplyIncoming(const std::string& name)
{
    ShownWaveform waveform;
    waveform.FileName = name;
    waveform.Caption
        = name.empty() ? std::string(UntitledAfterNew) : std::string(CaptionPrefix) + Utf8ToCp1252(FileNameOnly(name));
    waveform.Image = m_incoming;
    waveform.Image.ProbeFactor = m_incoming.ProbeFactor == 1 ? 1 : 10;
    ShowWaveform(waveform);
}

void DocumentCommands::ShowWaveform(const ShownWaveform& waveform)
{
    ShowWaveform(waveform, m_display);
}

void DocumentCommands::ShowWaveform(const ShownWaveform& waveform, const DisplayHooks& display)
{
    m_record.FileName = waveform.FileName;
    m_form.Caption = waveform.Caption;

    m_form.SetWaveformShown(true);

    const IncomingImage& image = waveform.Image;
    m_form.SetFieldGroup(true);
    m_form.Description.SetText(image.Description);
    m_form.DateField.SetText(image.Date);
    m_form.TimeField.SetText(image.Time);

    m_form.SettingsPanel[TimeDivPanel] = image.TimeLabel;
    m_form.SettingsPanel[VoltsDivPanel] = image.VoltsLabel;

    m_record.ZeroRef = image.ZeroRef;
    m_record.Samples = image.Samples;
    m_record.TimeIndex = image.TimeIndex;
    m_record.VoltIndex = image.VoltIndex;

    m_form.ShowProbe(image.ProbeFactor);
    m_record.ProbeFactor = image.ProbeFactor;
    m_flags.ProbeChanged = false;

    Run(display.UpdateMeasurements);
    if (waveform.TakesCursors)
        m_cursors = image.IncomingCursors;
    Run(display.RedrawTrace);
    // Setting the three fields above marked the document modified.
    if (waveform.CountsAsSaved)
        m_flags.Modified = false;
}

void DocumentCommands::NewItemClick()
{
    if (m_flags.Unsaved() && !ConfirmSave())
        return;
    m_record.FileName.clear();
    m_form.Caption = std::string(UntitledAfterNew);
    m_form.SetWaveformShown(false);
    m_form.Description.SetText("");
    m_form.DateField.SetText("");
    m_form.TimeField.SetText("");
    m_form.SetFieldGroup(false);
    for (std::string& panel : m_form.SettingsPanel)
        panel.clear();
    for (size_t i = 1; i < m_form.StatusBar.size(); ++i)
        m_form.StatusBar[i].clear();
    Run(m_display.ShowEmptyGraticule);
    ClearRecord(m_record, m_flags, m_cursors, m_form.ProbeMenuFactor());
}

bool DocumentCommands::FormCloseQuery()
{
    if (m_flags.Unsaved())
        return ConfirmSave();
    return true;
}

void DocumentCommands::ExitItemClick()
{
    m_ui.CloseWindow();
}

void DocumentCommands::DateFieldDblClick()
{
    if (m_form.DateField.Enabled)
        m_form.DateField.SetText(m_clock.CurrentDate());
}

void DocumentCommands::TimeFieldDblClick()
{
    if (m_form.TimeField.Enabled)
        m_form.TimeField.SetText(m_clock.CurrentTime());
}

void DocumentCommands::DescriptionChange()
{
    m_flags.Modified = true;
}

void DocumentCommands::DateFieldChange()
{
    m_flags.Modified = true;
}

void DocumentCommands::TimeFieldChange()
{
    m_flags.Modified = true;
}

void DocumentCommands::FormActivate(bool clipboardHoldsWaveform)
{
    m_form.SetPasteAvailable(clipboardHoldsWaveform);
}

} // namespace zop
