#include "viewer/PlotWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace zop::viewer {

PlotWidget::PlotWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("Plot");
    setAccessibleName(tr("Plot of the captures"));
    setAccessibleDescription(tr("Wheel: zoom in time; Ctrl+wheel: zoom in volts; drag: zoom to a rectangle; "
                                "click: cursor A; right click or Shift+click: cursor B"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void PlotWidget::SetSceneSource(std::function<PlotScene()> source)
{
    m_source = std::move(source);
    update();
}

void PlotWidget::SetHome(const ViewWindow& home)
{
    m_home = home;
    if (!m_zoomed)
        m_window = home;
    update();
}

void PlotWidget::SetWindow(const ViewWindow& window)
{
    m_window = LimitZoom(window, m_minimumTime, m_minimumVolts);
    m_zoomed = !(m_window == m_home);
    update();
    Q_EMIT WindowChanged();
}

void PlotWidget::SetZoomLimits(double time, double volts)
{
    m_minimumTime = time;
    m_minimumVolts = volts;
}

void PlotWidget::SetCursor(bool second, std::optional<CursorPoint> point)
{
    (second ? m_cursorB : m_cursorA) = point;
    if (point)
        m_activeSecond = second;
    update();
    Q_EMIT CursorsChanged();
}

PlotScene PlotWidget::CurrentScene() const
{
    PlotScene scene = m_source ? m_source() : PlotScene {};
    scene.Window = m_window;
    scene.CursorA = m_cursorA;
    scene.CursorB = m_cursorB;
    scene.RubberBand = m_band;
    return scene;
}

PlotMapping PlotWidget::Mapping() const
{
    return PlotMapping(PlotArea(QSizeF(size()), font()), m_window);
}

PlotPoint PlotWidget::ValueAt(QPointF position) const
{
    const PlotMapping mapping = Mapping();
    return { mapping.Seconds(position.x()), mapping.Volts(position.y()) };
}

void PlotWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    RenderPlot(painter, QSizeF(size()), font(), CurrentScene());
    if (++m_frames == 1)
        Q_EMIT FirstFramePainted();
}

void PlotWidget::ZoomTime(double factor)
{
    const ViewWindow& w = m_window;
    SetWindow(Zoom(w, { (w.Time.Low + w.Time.High) / 2, 0 }, factor, 1));
}

void PlotWidget::ZoomVolts(double factor)
{
    const ViewWindow& w = m_window;
    SetWindow(Zoom(w, { 0, (w.Volts.Low + w.Volts.High) / 2 }, 1, factor));
}

void PlotWidget::PanBy(double timeShare, double voltsShare)
{
    SetWindow(Pan(m_window, timeShare, voltsShare));
}

void PlotWidget::ResetZoom()
{
    SetWindow(m_home);
}

void PlotWidget::PlaceCursor(bool second)
{
    SetCursor(second,
        CursorPoint { (m_window.Time.Low + m_window.Time.High) / 2,
            m_window.Volts.Low + m_window.Volts.Span() * (second ? 0.35 : 0.65) });
}

void PlotWidget::MoveCursor(double timeShare, double voltsShare)
{
    std::optional<CursorPoint>& cursor = m_activeSecond ? m_cursorB : m_cursorA;
    if (!cursor) {
        PlaceCursor(m_activeSecond);
        return;
    }
    cursor->Seconds += m_window.Time.Span() * timeShare;
    cursor->Volts += m_window.Volts.Span() * voltsShare;
    update();
    Q_EMIT CursorsChanged();
}

void PlotWidget::ClearCursors()
{
    m_cursorA.reset();
    m_cursorB.reset();
    m_activeSecond = false;
    update();
    Q_EMIT CursorsChanged();
}

void PlotWidget::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) {
        event->ignore();
        return;
    }
    const PlotPoint anchor = ValueAt(event->position());
    const double factor = std::pow(1.25, steps);
    if (event->modifiers() & Qt::ShiftModifier)
        PanBy(-0.1 * steps, 0);
    else if (event->modifiers() & Qt::ControlModifier)
        SetWindow(Zoom(m_window, anchor, 1, factor));
    else
        SetWindow(Zoom(m_window, anchor, factor, 1));
    event->accept();
}

void PlotWidget::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const PlotPoint at = ValueAt(event->position());
    if (event->button() == Qt::RightButton) {
        SetCursor(true, CursorPoint { at.X, at.Y });
        return;
    }
    if (event->button() == Qt::LeftButton)
        m_pressAt = event->position();
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressAt)
        return;
    const QPointF delta = event->position() - *m_pressAt;
    if (m_band || std::abs(delta.x()) + std::abs(delta.y()) > 4) {
        m_band = QRectF(*m_pressAt, event->position());
        update();
    }
}

void PlotWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressAt)
        return;
    if (m_band) {
        const QRectF band = m_band->normalized();
        m_band.reset();
        SetWindow(ZoomToPixels(Mapping(), { band.left(), band.top() }, { band.right(), band.bottom() }));
    } else {
        const PlotPoint at = ValueAt(event->position());
        SetCursor(event->modifiers() & Qt::ShiftModifier, CursorPoint { at.X, at.Y });
    }
    m_pressAt.reset();
}

} // namespace zop::viewer
