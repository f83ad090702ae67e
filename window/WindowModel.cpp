#include "window/WindowModel.h"

#include <clocale>
#include <ctime>
#include <stdexcept>

#include "comm/MessageWindow.h"
#include "waveform/Cp1252.h"

namespace zop {

namespace {

// Drawing nobody looks at: a program without a window measures only.
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

// A program without a clipboard or a printer: both refuse, as a clipboard
// that is held by another program does.
class NoClipboard final : public WaveformClipboard {
public:
    bool HoldsWaveform() override { return false; }
    std::optional<std::vector<uint8_t>> ReadWaveform() override { return std::nullopt; }
    void Place(const SheetContent&, const WaveformBlock*) override { throw std::runtime_error(ClipErrorText); }
    void Empty() override { }
};

class NoPrinter final : public PagePrinter {
public:
    bool ChoosePrinter() override { return false; }
    void PrintSheet(const SheetContent&) override { throw std::runtime_error("No printer"); }
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

template <class T, class Base> std::unique_ptr<Base> StandIn(Base* given)
{
    return given ? nullptr : std::make_unique<T>();
}

} // namespace

std::string SystemDateTime::CurrentDate()
{
    return FormatNow("%x");
}

std::string SystemDateTime::CurrentTime()
{
    return FormatNow("%X");
}

WindowModel::WindowModel(const WindowDevices& devices)
    : m_ui(devices.Ui)
    , m_clock(devices.Clock ? devices.Clock : &m_systemClock)
    , m_ownPicture(StandIn<DiscardingPicture>(devices.Picture))
    , m_ownPictures(StandIn<NoPictureFiles>(devices.Pictures))
    , m_ownClipboard(StandIn<NoClipboard>(devices.Clipboard))
    , m_ownPrinter(StandIn<NoPrinter>(devices.Printer))
    , m_component(devices.Port ? nullptr : std::make_unique<TVskComPort>())
    , m_componentPort(m_component ? std::make_unique<ComponentPort>(*m_component) : nullptr)
    , m_runner(devices.Ui)
    , m_view(m_form, m_record, m_flags, m_cursors, devices.Picture ? *devices.Picture : *m_ownPicture, m_cursorsAtRest)
    , m_document(Parts(), Display(false), devices.Pictures ? *devices.Pictures : *m_ownPictures, *m_clock)
    , m_output(Parts(), m_document, devices.Clipboard ? *devices.Clipboard : *m_ownClipboard,
          devices.Printer ? *devices.Printer : *m_ownPrinter)
    , m_link({ m_form, m_record, m_flags, m_transfer, m_ui }, devices.Port ? *devices.Port : *m_componentPort,
          m_document, Display(true), *m_clock)
{
    InitialiseWindowState(devices.StartMode);

    // A received waveform completes while another command's question is open
    // only once that command has ended: it would ask its own question inside
    // the other one, which would go on with a document it never saw.
    m_runner.Deferred = [this] { return m_link.CompleteDeferredTransfer(); };
    m_link.SetDocumentBusy([this] { return m_runner.OtherCommandRunning(); });
    m_runner.Finished = [this] {
        if (Changed)
            Changed();
    };

    if (m_component) {
        m_component->SetName("VskComPort1");
        ApplyWindowPortSettings(*m_component);
        m_component->OnTriggerAvail = [this](TVskCustomComPort&, uint16_t count) { PortBytesAvailable(count); };
        m_component->OnTriggerData = [this](TVskCustomComPort&, uint16_t handle) { PortLineEnd(handle); };
    }
    // Paste follows what the clipboard already holds.
    Activated();
}

WindowModel::~WindowModel()
{
    if (!m_component)
        return;
    m_component->OnTriggerAvail = nullptr;
    m_component->OnTriggerData = nullptr;
    // Closing the port stops its dispatcher threads before the link goes.
    try {
        m_component->SetOpen(false);
    } catch (...) {
        // Closing at exit: nothing left to tell.
    }
}

void WindowModel::InitialiseWindowState(TraceMode mode)
{
    ResetRecord(m_record, m_flags, m_cursors);
    m_cursorsAtRest = true;
    m_form.Caption = "Tracelet - [Untitled]";
    m_form.ShowViewMode(mode);
    m_form.ShowProbe(1);
    m_record.ProbeFactor = 1;
    m_flags.ProbeChanged = false;
}

DisplayHooks WindowModel::Display(bool received)
{
    return DisplayHooks {
        [this] { m_view.UpdateMeasurements(); },
        [this, received] {
            m_view.RedrawTrace();
            if (received && TransferShown)
                TransferShown();
        },
        [this] { m_view.ShowEmptyGraticule(); },
    };
}

int WindowModel::CheckedPort() const
{
    for (int number = 1; number <= 4; ++number)
        if (m_form[ComItem(number)].Checked)
            return number;
    return 0;
}

void WindowModel::Start(const std::vector<std::string>& files, bool findPorts)
{
    if (!files.empty() && !files.front().empty())
        Run([&] { m_document.OpenStartupFile(files.front()); });
    if (findPorts)
        Run([this] { m_link.ProbePorts(); });
}

void WindowModel::Click(Cmd command)
{
    Run([this, command] {
        switch (MenuItemOf(command)) {
        case Cmd::NewItem:
            m_document.NewItemClick();
            break;
        case Cmd::OpenItem:
            m_document.OpenItemClick();
            break;
        case Cmd::SaveItem:
            m_document.SaveItemClick();
            break;
        case Cmd::SaveasItem:
            m_document.SaveasItemClick();
            break;
        case Cmd::PrintItem:
            m_output.PrintItemClick();
            break;
        case Cmd::ExitItem:
            m_document.ExitItemClick();
            break;
        case Cmd::CutItem:
            m_output.CutItemClick();
            break;
        case Cmd::CopyItem:
            m_output.CopyItemClick();
            break;
        case Cmd::PasteItem:
            m_output.PasteItemClick();
            break;
        case Cmd::DotItem:
            m_view.DotItemClick();
            break;
        case Cmd::BarItem:
            m_view.BarItemClick();
            break;
        case Cmd::SmoothItem:
            m_view.SmoothItemClick();
            break;
        case Cmd::Probex1Item:
            m_view.Probex1ItemClick();
            break;
        case Cmd::Probex10Item:
            m_view.Probex10ItemClick();
            break;
        case Cmd::Com1Item:
            m_link.Com1ItemClick();
            break;
        case Cmd::Com2Item:
            m_link.Com2ItemClick();
            break;
        case Cmd::Com3Item:
            m_link.Com3ItemClick();
            break;
        case Cmd::Com4Item:
            m_link.Com4ItemClick();
            break;
        case Cmd::HelpTopicsItem:
            if (ShowHelp)
                ShowHelp();
            break;
        case Cmd::AboutItem:
            if (ShowAbout)
                ShowAbout();
            break;
        default:
            break;
        }
    });
}

void WindowModel::DescriptionTyped(std::string text)
{
    Run([&] { m_form.Description.SetText(std::move(text)); });
}

void WindowModel::DateTyped(std::string text)
{
    Run([&] { m_form.DateField.SetText(std::move(text)); });
}

void WindowModel::TimeTyped(std::string text)
{
    Run([&] { m_form.TimeField.SetText(std::move(text)); });
}

void WindowModel::DateFieldDblClick()
{
    Run([this] { m_document.DateFieldDblClick(); });
}

void WindowModel::TimeFieldDblClick()
{
    Run([this] { m_document.TimeFieldDblClick(); });
}

void WindowModel::EditMenuOpened()
{
    Run([this] { m_output.EditMenuClick(); });
}

void WindowModel::ComMenuOpened()
{
    Run([this] { m_link.ComMenuClick(); });
}

void WindowModel::Activated()
{
    Run([this] { m_output.UpdatePasteAvailability(); });
}

void WindowModel::FilesDropped(const std::vector<std::string>& paths)
{
    Run([&] { m_document.DropFiles(paths); });
}

void WindowModel::PictureMouse(const TraceMouse& event)
{
    Run([&] {
        switch (event.Type) {
        case TraceMouse::Down:
            m_view.Image1MouseDown(event.Button, event.Shift, event.X, event.Y);
            break;
        case TraceMouse::Move:
            m_view.Image1MouseMove(event.Shift, event.X, event.Y);
            break;
        case TraceMouse::Up:
            m_view.Image1MouseUp(event.Button, event.Shift, event.X, event.Y);
            break;
        }
    });
}

void WindowModel::PortBytesAvailable(uint16_t count)
{
    m_runner.RunPortEvent([&] { m_link.VskComPort1TriggerAvail(count); });
}

void WindowModel::PortLineEnd(uint16_t triggerHandle)
{
    m_runner.RunPortEvent([&] { m_link.VskComPort1TriggerData(triggerHandle); });
    if (LineHandled)
        LineHandled();
}

bool WindowModel::CloseQuery()
{
    return m_runner.CloseQuery([this] { return m_document.FormCloseQuery(); });
}

void WindowModel::PumpPortMessages(std::chrono::milliseconds wait)
{
    if (WaitForMessages(wait))
        PumpMessages();
}

} // namespace zop
