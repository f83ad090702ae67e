#pragma once
// The Canvas over QPainter, keeping the classic Windows drawing rules that
// QPainter does not have by itself:
// - a 1-pixel line stops one pixel before its end point (QPainter includes
//   it), so joined segments never touch a pixel twice;
// - FillRect(x1, y1, x2, y2) covers x1..x2-1 and y1..y2-1;
// - the inverting mix is NOT(pen XOR pixel) (RasterOp_NotSourceXorDestination,
//   which needs an RGB32 or ARGB32 picture);
// - dotted pens are 1 pixel on, 2 off; wider pens have round ends and joins
//   and run the whole segment.
// Texts are Windows-1252 bytes, drawn in black without a background.
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <QPolygon>
#include <optional>

#include "display/Canvas.h"

class QPaintDevice;

namespace zop {

class QPainterCanvas : public Canvas {
public:
    // Paints on `device` until the canvas goes away.
    explicit QPainterCanvas(QPaintDevice* device);
    // Paints with a painter the caller has begun and keeps.
    explicit QPainterCanvas(QPainter& painter);
    ~QPainterCanvas() override;
    QPainterCanvas(const QPainterCanvas&) = delete;
    QPainterCanvas& operator=(const QPainterCanvas&) = delete;

    void SetPen(const Pen& pen) override;
    Pen GetPen() const override { return m_pen; }
    void SetBrush(const Brush& brush) override { m_brush = brush; }
    Brush GetBrush() const override { return m_brush; }
    void SetFont(const Font& font) override;

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void FillRect(int x1, int y1, int x2, int y2) override;
    void Polygon(const std::vector<Point>& points) override;
    void TextOut(int x, int y, std::string_view text) override;
    int TextWidth(std::string_view text) override;

    // The painter, with every figure drawn so far on the device.
    QPainter& Painter();

private:
    void UseMix();
    void FlushPath();

    std::optional<QPainter> m_ownPainter;
    QPainter* m_painter;
    Pen m_pen;
    Brush m_brush;
    QPen m_qpen;
    QFont m_font;
    QPoint m_position;
    QPolygon m_pendingPath; // joined wide segments not yet stroked
};

} // namespace zop
