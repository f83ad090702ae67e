#pragma once
// The plot on screen: draws the shown captures with PlotRenderer at the
// widget's size and device pixel ratio, and turns the wheel, the mouse and
// the keys into zoom, pan and cursor changes.
#include <QWidget>
#include <functional>
#include <optional>

#include "viewer/PlotRenderer.h"

namespace zop::viewer {

class PlotWidget : public QWidget {
    Q_OBJECT
public:
    explicit PlotWidget(QWidget* parent = nullptr);

    // The captures and colours to draw; called at every paint.
    void SetSceneSource(std::function<PlotScene()> source);
    // The home window (all shown captures whole) and the division sizes.
    void SetHome(const ViewWindow& home);
    const ViewWindow& Window() const { return m_window; }
    void SetWindow(const ViewWindow& window);
    bool Zoomed() const { return m_zoomed; }
    // The minimum time and volts spans of the zoom.
    void SetZoomLimits(double time, double volts);

    const std::optional<CursorPoint>& CursorA() const { return m_cursorA; }
    const std::optional<CursorPoint>& CursorB() const { return m_cursorB; }
    void SetCursor(bool second, std::optional<CursorPoint> point);

    // The scene as drawn now (window, cursors and band filled in).
    PlotScene CurrentScene() const;
    // Frames painted so far.
    int FramesPainted() const { return m_frames; }

public Q_SLOTS:
    void ZoomTime(double factor);
    void ZoomVolts(double factor);
    void PanBy(double timeShare, double voltsShare);
    void ResetZoom();
    // Puts cursor A or B in the middle of the window and makes it the one the keys move.
    void PlaceCursor(bool second);
    // Moves the active cursor by a share of the window.
    void MoveCursor(double timeShare, double voltsShare);
    void ClearCursors();

Q_SIGNALS:
    void CursorsChanged();
    void WindowChanged();
    void FirstFramePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    PlotMapping Mapping() const;
    PlotPoint ValueAt(QPointF position) const;

    std::function<PlotScene()> m_source;
    ViewWindow m_home;
    ViewWindow m_window;
    bool m_zoomed = false;
    double m_minimumTime = 1e-9;
    double m_minimumVolts = 1e-6;
    std::optional<CursorPoint> m_cursorA;
    std::optional<CursorPoint> m_cursorB;
    bool m_activeSecond = false;
    std::optional<QPointF> m_pressAt;
    std::optional<QRectF> m_band;
    int m_frames = 0;
};

} // namespace zop::viewer
