#include "tools/HeadlessWindow.h"

#include <clocale>
#include <cstring>
#include <ctime>

#include "waveform/Cp1252.h"

namespace zop {

namespace {

// Drawing nobody looks at: the measuring commands show no picture.
class DiscardingCanvas final : public Canvas {
public:
    void SetPen(const Pen& pen) override { m_pen = pen; }
    Pen GetPen() const override { return m_pen; }
    void SetBrush(const Brush& brush) override { m_brush = brush; }
    Brush GetBrush() const override { return m_brush; }
    void SetFont(const Font&) override { }
    void MoveTo(int, int) override { }
    void LineTo(int, int) override { }
    void FillRect(int, int, int, int) override { }
    void Polygon(const std::vector<Point>&) override { }
    void TextOut(int, int, std::string_view) override { }
    int TextWidth(std::string_view) override { return 0; }

private:
    Pen m_pen;
    Brush m_brush;
};

class DiscardingPicture final : public TracePicture {
public:
    void ResetToGraticule() override { }
    Canvas& Draw() override { return m_canvas; }

private:
    DiscardingCanvas m_canvas;
};

std::string FormatNow(const char* format)
{
    // The user's regional formats, as the window takes them from the system.
    static const bool localeSet = std::setlocale(LC_TIME, "") != nullptr;
    (void)localeSet;
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[64];
    const size_t length = std::strftime(text, sizeof text, format, &local);
    return Utf8ToCp1252(std::string(text, length));
}

} // namespace

Answer HeadlessUserInterface::Message(BoxKind kind, const std::string& text, BoxButtons buttons)
{
    if (buttons == BoxButtons::Ok) {
        Messages.push_back(text);
        return Answer::Ok;
    }
    // The only yes/no question of a save is whether to overwrite the file
    // the command line named; a save question before replacing a document
    // does not arise on the command line and is answered no.
    if (buttons == BoxButtons::YesNo && kind == BoxKind::Warning)
        return Answer::Yes;
    return Answer::No;
}

std::optional<FileDialogResult> HeadlessUserInterface::OpenFileDialog(const FileDialogRequest&)
{
    return FileDialogResult { NextFileName, NextFilterIndex };
}

std::optional<FileDialogResult> HeadlessUserInterface::SaveFileDialog(const FileDialogRequest&)
{
    return FileDialogResult { NextFileName, NextFilterIndex };
}

std::string SystemDateTime::CurrentDate()
{
    return FormatNow("%x");
}

std::string SystemDateTime::CurrentTime()
{
    return FormatNow("%X");
}

HeadlessWindow::HeadlessWindow(TraceMode mode, TracePicture* picture, PictureFiles* pictures, DateTimeSource* clock)
    : m_activeClock(clock ? clock : &m_clock)
{
    ResetRecord(m_record, m_flags, m_cursors);
    m_form.ShowViewMode(mode);
    m_form.ShowProbe(1);
    if (!picture) {
        m_ownPicture = std::make_unique<DiscardingPicture>();
        picture = m_ownPicture.get();
    }
    m_view = std::make_unique<TraceView>(m_form, m_record, m_flags, m_cursors, *picture);
    DisplayHooks hooks;
    hooks.UpdateMeasurements = [this] { m_view->UpdateMeasurements(); };
    hooks.RedrawTrace = [this] { m_view->RedrawTrace(); };
    hooks.ShowEmptyGraticule = [picture] { picture->ResetToGraticule(); };
    m_document
        = std::make_unique<DocumentCommands>(Parts(), hooks, pictures ? *pictures : m_noPictures, *m_activeClock);
}

HeadlessWindow::~HeadlessWindow() = default;

bool HeadlessWindow::Open(const std::string& path)
{
    const size_t before = m_ui.Messages.size();
    m_ui.NextFileName = path;
    m_ui.NextFilterIndex = 1;
    m_document->OpenItemClick();
    // The window's message, and for a file that could not be read at all the
    // system's reason after it: "Incorrect file type (Permission denied)".
    if (m_ui.Messages.size() > before && m_document->OpenUnreadable() != 0)
        m_ui.Messages.back() += " (" + Utf8ToCp1252(std::strerror(m_document->OpenUnreadable())) + ")";
    return m_ui.Messages.size() == before && m_form.WaveformShown() && m_record.FileName == path;
}

void HeadlessWindow::SelectProbe(int32_t factor)
{
    if (factor == 10)
        m_view->Probex10ItemClick();
    else
        m_view->Probex1ItemClick();
}

void HeadlessWindow::PlaceCursors(int first, int second)
{
    const int x1 = 4 * first + 2;
    const int x2 = 4 * second + 2;
    m_view->Image1MouseDown(MouseButton::Left, ssLeft, x1, 0);
    if (x2 != x1)
        m_view->Image1MouseMove(ssLeft, x2, 0);
    m_view->Image1MouseUp(MouseButton::Left, 0, x2, 0);
}

void HeadlessWindow::SaveAs(const std::string& path, int filterIndex)
{
    m_ui.NextFileName = path;
    m_ui.NextFilterIndex = filterIndex;
    m_document->SaveasItemClick();
}

} // namespace zop
