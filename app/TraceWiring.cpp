#include "app/TraceWiring.h"

#include <QLocale>

#include "app/TZop5Form.h"
#include "display/FormatGeneral3.h"

namespace zop {

namespace {

ShiftState ShiftOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers keys)
{
    ShiftState shift = 0;
    if (keys & Qt::ShiftModifier)
        shift |= ssShift;
    if (keys & Qt::ControlModifier)
        shift |= ssCtrl;
    if (keys & Qt::AltModifier)
        shift |= ssAlt;
    if (buttons & Qt::LeftButton)
        shift |= ssLeft;
    if (buttons & Qt::RightButton)
        shift |= ssRight;
    if (buttons & Qt::MiddleButton)
        shift |= ssMiddle;
    return shift;
}

MouseButton ButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return MouseButton::Left;
    case Qt::RightButton:
        return MouseButton::Right;
    default:
        return MouseButton::Middle;
    }
}

// The user's decimal separator, when the code page can hold it.
void UseRegionalDecimalSeparator()
{
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80)
        SetDecimalSeparator(static_cast<char>(point.at(0).unicode()));
}

} // namespace

TraceWiring::TraceWiring(TZop5Form& form)
    : m_picture(form.Image1(), form.Image2(), [&form] { form.PictureChanged(); })
    , m_view(form.State(), form.Record(), form.Flags(), form.Cursors(), m_picture, form.CursorsAtRest())
{
    UseRegionalDecimalSeparator();
    auto& commands = form.On().Commands;
    auto bind = [&commands](std::initializer_list<Cmd> controls, void (TraceView::*handler)(), TraceView* view) {
        for (Cmd control : controls)
            commands[static_cast<size_t>(control)] = [view, handler] { (view->*handler)(); };
    };
    bind({ Cmd::DotItem, Cmd::DotBtn }, &TraceView::DotItemClick, &m_view);
    bind({ Cmd::BarItem, Cmd::BarBtn }, &TraceView::BarItemClick, &m_view);
    bind({ Cmd::SmoothItem, Cmd::SmoothBtn }, &TraceView::SmoothItemClick, &m_view);
    bind({ Cmd::Probex1Item, Cmd::Probex1Btn }, &TraceView::Probex1ItemClick, &m_view);
    bind({ Cmd::Probex10Item, Cmd::Probex10Btn }, &TraceView::Probex10ItemClick, &m_view);
    form.On().PictureMouse = [this](const PictureMouseEvent& event) { Mouse(event); };
}

DisplayHooks TraceWiring::Hooks()
{
    return DisplayHooks {
        [this] { m_view.UpdateMeasurements(); },
        [this] { m_view.RedrawTrace(); },
        [this] { m_view.ShowEmptyGraticule(); },
    };
}

void TraceWiring::Mouse(const PictureMouseEvent& event)
{
    const ShiftState shift = ShiftOf(event.Buttons, event.Keys);
    switch (event.Type) {
    case PictureMouseEvent::Down:
        m_view.Image1MouseDown(ButtonOf(event.Button), shift | ShiftOf(event.Button, {}), event.X, event.Y);
        break;
    case PictureMouseEvent::Move:
        m_view.Image1MouseMove(shift, event.X, event.Y);
        break;
    case PictureMouseEvent::Up:
        m_view.Image1MouseUp(ButtonOf(event.Button), shift, event.X, event.Y);
        break;
    }
}

} // namespace zop
