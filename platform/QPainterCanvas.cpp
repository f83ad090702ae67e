#include "platform/QPainterCanvas.h"

#include <QFontMetrics>
#include <QPolygon>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "waveform/Cp1252.h"

namespace zop {

namespace {

QColor ToQColor(Rgb c)
{
    return QColor(c.R, c.G, c.B);
}

QString ToText(std::string_view cp1252)
{
    const std::string utf8 = Cp1252ToUtf8(cp1252);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

QPainterCanvas::QPainterCanvas(QPaintDevice* device)
    : m_ownPainter(std::in_place, device)
    , m_painter(&*m_ownPainter)
{
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    SetPen(m_pen);
    SetFont(Font {});
}

QPainterCanvas::QPainterCanvas(QPainter& painter)
    : m_painter(&painter)
{
    SetPen(m_pen);
    SetFont(Font {});
}

QPainterCanvas::~QPainterCanvas()
{
    FlushPath();
}

QPainter& QPainterCanvas::Painter()
{
    FlushPath();
    return *m_painter;
}

void QPainterCanvas::SetPen(const Pen& pen)
{
    FlushPath();
    m_pen = pen;
    m_qpen = QPen(ToQColor(pen.Color));
    if (pen.Width <= 1) {
        m_qpen.setWidth(1);
        m_qpen.setCosmetic(true);
        m_qpen.setCapStyle(Qt::SquareCap);
    } else {
        m_qpen.setWidth(pen.Width);
        m_qpen.setCapStyle(Qt::RoundCap);
        m_qpen.setJoinStyle(Qt::RoundJoin);
    }
    m_qpen.setStyle(pen.Style == PenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
}

void QPainterCanvas::SetFont(const Font& font)
{
    m_font = QFont(QString::fromStdString(font.Face), font.PointSize);
    m_font.setBold(font.Bold);
    m_font.setItalic(false);
    m_font.setUnderline(false);
    m_font.setStrikeOut(false);
}

void QPainterCanvas::UseMix()
{
    m_painter->setCompositionMode(m_pen.Mix == PenMix::NotXorPen ? QPainter::RasterOp_NotSourceXorDestination
                                                                 : QPainter::CompositionMode_SourceOver);
}

void QPainterCanvas::MoveTo(int x, int y)
{
    FlushPath();
    m_position = QPoint(x, y);
}

void QPainterCanvas::FlushPath()
{
    if (m_pendingPath.isEmpty())
        return;
    UseMix();
    m_painter->setPen(m_qpen);
    m_painter->setBrush(Qt::NoBrush);
    m_painter->drawPolyline(m_pendingPath);
    m_pendingPath.clear();
}

void QPainterCanvas::LineTo(int x, int y)
{
    const QPoint from = m_position;
    const QPoint to(x, y);
    m_position = to;
    if (m_pen.Width > 1) {
        // Wide segments joined end to end are stroked as one polyline: the
        // same round-jointed shape, drawn much faster than one stroke each.
        if (m_pendingPath.isEmpty())
            m_pendingPath << from;
        m_pendingPath << to;
        return;
    }
    FlushPath();
    UseMix();
    m_painter->setPen(m_qpen);
    m_painter->setBrush(Qt::NoBrush);
    // With square caps QPainter covers both end points; the last pixel before
    // `to` along the major axis is where the line must stop.
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    const int steps = std::max(std::abs(dx), std::abs(dy));
    if (steps == 0)
        return;
    const QPoint last(from.x() + static_cast<int>(std::lround(static_cast<double>(dx) * (steps - 1) / steps)),
        from.y() + static_cast<int>(std::lround(static_cast<double>(dy) * (steps - 1) / steps)));
    if (last == from)
        m_painter->drawPoint(from);
    else
        m_painter->drawLine(from, last);
}

void QPainterCanvas::FillRect(int x1, int y1, int x2, int y2)
{
    FlushPath();
    if (x2 <= x1 || y2 <= y1)
        return;
    UseMix();
    m_painter->fillRect(QRect(x1, y1, x2 - x1, y2 - y1), ToQColor(m_brush.Color));
}

void QPainterCanvas::Polygon(const std::vector<Point>& points)
{
    FlushPath();
    QPolygon polygon;
    for (const Point& p : points)
        polygon << QPoint(p.X, p.Y);
    UseMix();
    m_painter->setPen(m_qpen);
    m_painter->setBrush(m_brush.Hollow ? QBrush(Qt::NoBrush) : QBrush(ToQColor(m_brush.Color)));
    m_painter->drawPolygon(polygon);
}

void QPainterCanvas::TextOut(int x, int y, std::string_view text)
{
    FlushPath();
    if (text.empty())
        return;
    m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter->setFont(m_font);
    m_painter->setPen(QPen(Qt::black));
    const QFontMetrics metrics(m_font, m_painter->device());
    m_painter->drawText(QPoint(x, y + metrics.ascent()), ToText(text));
}

int QPainterCanvas::TextWidth(std::string_view text)
{
    const QFontMetrics metrics(m_font, m_painter->device());
    return metrics.horizontalAdvance(ToText(text));
}

} // namespace zop
