#include "viewer/PlotRenderer.h"

#include <QFontMetricsF>
#include <QPolygonF>
#include <cmath>
#include <iterator>

#include "display/FormatGeneral3.h"
#include "viewer/MeasurementTable.h"

namespace zop::viewer {

PlotColours ThemeColours(Theme theme)
{
    if (theme == Theme::Dark)
        return { QColor(0x1e, 0x1f, 0x22), QColor(0x8a, 0x8d, 0x93), QColor(0x3a, 0x3d, 0x42), QColor(0x9a, 0x9d, 0xa3),
            QColor(0xe6, 0xe6, 0xe6), QColor(0xff, 0xff, 0xff) };
    return { QColor(0xff, 0xff, 0xff), QColor(0x60, 0x60, 0x60), QColor(0xdc, 0xdc, 0xdc), QColor(0x70, 0x70, 0x70),
        QColor(0x20, 0x20, 0x20), QColor(0x00, 0x00, 0x00) };
}

QColor CaptureColour(size_t n, Theme theme)
{
    // Colours chosen to stay distinct under protanopia, deuteranopia and
    // tritanopia; the yellow reads only on a dark page and the black only on
    // a light one, so each theme swaps one of them.
    static const QRgb Light[] = { 0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7, 0xE69F00, 0x56B4E9, 0x000000, 0x7F7F7F };
    static const QRgb Dark[] = { 0x56B4E9, 0xE69F00, 0x009E73, 0xCC79A7, 0xF0E442, 0xD55E00, 0x0072B2, 0xE6E6E6 };
    const QRgb* palette = theme == Theme::Dark ? Dark : Light;
    return QColor::fromRgb(palette[n % std::size(Light)]);
}

Qt::PenStyle CaptureLineStyle(size_t n)
{
    static const Qt::PenStyle Styles[] = { Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine };
    return Styles[(n / 8) % 4];
}

namespace {

QString ScaleText(double value, Unit unit)
{
    return QString::fromStdString(FormatQuantity(std::abs(value) < 1e-15 ? 0.0 : value, unit, DecimalSeparator()));
}

double Clamp(double value, double low, double high)
{
    return std::max(low, std::min(high, value));
}

} // namespace

PixelRect PlotArea(QSizeF size, const QFont& font)
{
    const QFontMetricsF metrics(font);
    const double left = metrics.horizontalAdvance("-000 mV") + 10;
    const double bottom = metrics.height() + 10;
    const double top = 8;
    const double right = metrics.horizontalAdvance("000 ms") / 2 + 4;
    return { left, top, std::max(1.0, size.width() - left - right), std::max(1.0, size.height() - top - bottom) };
}

void RenderPlot(QPainter& painter, QSizeF size, const QFont& font, const PlotScene& scene)
{
    const PlotColours& colours = scene.Colours;
    const PixelRect area = PlotArea(size, font);
    const PlotMapping mapping(area, scene.Window);
    const QRectF plotRect(area.Left, area.Top, area.Width, area.Height);
    const QFontMetricsF metrics(font);

    painter.save();
    painter.setFont(font);
    painter.fillRect(QRectF(QPointF(0, 0), size), colours.Background);
    painter.setRenderHint(QPainter::Antialiasing, false);

    // Division lines from 0 s and 0 V, in the reference's division sizes
    // while about ten of them fit, else in 1-2-5 steps of them.
    const double timeStep = DivisionStep(scene.Window.Time.Span(), scene.TimeDivision, 9.6);
    const double voltsStep = DivisionStep(scene.Window.Volts.Span(), scene.VoltsDivision, 8);
    painter.setPen(QPen(colours.Grid, 0));
    const std::vector<double> timeTicks = Ticks(scene.Window.Time, timeStep);
    const std::vector<double> voltsTicks = Ticks(scene.Window.Volts, voltsStep);
    for (double t : timeTicks)
        painter.drawLine(QPointF(mapping.X(t), area.Top), QPointF(mapping.X(t), area.Bottom()));
    for (double v : voltsTicks)
        painter.drawLine(QPointF(area.Left, mapping.Y(v)), QPointF(area.Right(), mapping.Y(v)));
    if (scene.Window.Volts.Low < 0 && scene.Window.Volts.High > 0) {
        painter.setPen(QPen(colours.Zero, 0, Qt::DashLine));
        painter.drawLine(QPointF(area.Left, mapping.Y(0)), QPointF(area.Right(), mapping.Y(0)));
    }
    painter.setPen(QPen(colours.Frame, 0));
    painter.drawRect(plotRect);

    // Scale texts: volts at the left, time below.
    painter.setPen(colours.Text);
    for (double v : voltsTicks) {
        const double y = mapping.Y(v);
        painter.drawText(QRectF(0, y - metrics.height() / 2, area.Left - 6, metrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, ScaleText(v, Unit::Volts));
    }
    double lastRight = -1e9;
    for (double t : timeTicks) {
        const QString text = ScaleText(t, Unit::Seconds);
        const double width = metrics.horizontalAdvance(text);
        const double x = mapping.X(t) - width / 2;
        if (x < lastRight + 8)
            continue; // keep neighbouring texts apart
        painter.drawText(QRectF(x, area.Bottom() + 4, width + 1, metrics.height()), Qt::AlignCenter, text);
        lastRight = x + width;
    }

    // The captures, clipped to the graticule, each on its own scales.
    painter.setClipRect(plotRect);
    // From twice the pixels on, a trace three device pixels wide shows no
    // steps worth smoothing, and drawing it without costs a third.
    painter.setRenderHint(QPainter::Antialiasing, painter.device()->devicePixelRatioF() < 2);
    const double spacing = scene.Traces.empty() || !scene.Traces.front().Data
        ? 0
        : std::abs(mapping.X(scene.Traces.front().Data->SampleInterval()) - mapping.X(0));
    for (const PlotTrace& trace : scene.Traces) {
        if (!trace.Data)
            continue;
        QPolygonF line;
        line.reserve(SampleCount);
        for (int i = 0; i < SampleCount; ++i) {
            const PlotPoint p = SamplePoint(mapping, *trace.Data, i);
            // Far outside the picture a point only needs to keep the line's direction.
            line.append(QPointF(Clamp(p.X, -1e6, 1e6), Clamp(p.Y, -1e6, 1e6)));
        }
        painter.setBrush(Qt::NoBrush);
        if (trace.Style == Qt::SolidLine) {
            // Short separate strokes fill four to six times faster than one
            // long joined one; their square ends close the joints.
            painter.setPen(QPen(trace.Colour, trace.Width, Qt::SolidLine, Qt::SquareCap));
            QVector<QLineF> segments;
            segments.reserve(SampleCount - 1);
            for (qsizetype i = 1; i < line.size(); ++i)
                segments.append(QLineF(line[i - 1], line[i]));
            painter.drawLines(segments);
        } else {
            painter.setPen(QPen(trace.Colour, trace.Width, trace.Style, Qt::FlatCap, Qt::BevelJoin));
            painter.drawPolyline(line); // a dash pattern runs on along the whole line
        }
        // Zoomed in far enough, each sample gets a dot.
        if (spacing >= 20) {
            painter.setBrush(trace.Colour);
            painter.setPen(Qt::NoPen);
            for (int i = 0; i < SampleCount; ++i) {
                const PlotPoint p = SamplePoint(mapping, *trace.Data, i);
                painter.drawEllipse(QPointF(p.X, p.Y), trace.Width + 1, trace.Width + 1);
            }
        }
    }

    // Cursors: a vertical and a horizontal line each, named A and B.
    const auto drawCursor = [&](const std::optional<CursorPoint>& cursor, const QString& name, Qt::PenStyle style) {
        if (!cursor)
            return;
        painter.setPen(QPen(colours.Cursor, 1, style));
        const double x = mapping.X(cursor->Seconds);
        const double y = mapping.Y(cursor->Volts);
        painter.drawLine(QPointF(x, area.Top), QPointF(x, area.Bottom()));
        painter.drawLine(QPointF(area.Left, y), QPointF(area.Right(), y));
        painter.drawText(QPointF(x + 3, area.Top + metrics.ascent() + 2), name);
    };
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawCursor(scene.CursorA, "A", Qt::DashLine);
    drawCursor(scene.CursorB, "B", Qt::DotLine);

    if (scene.RubberBand) {
        QColor fill = colours.Cursor;
        fill.setAlpha(40);
        painter.setPen(QPen(colours.Cursor, 0, Qt::DashLine));
        painter.setBrush(fill);
        painter.drawRect(scene.RubberBand->normalized());
    }

    if (scene.DrawLegend) {
        double y = area.Top + 6;
        double widest = 0;
        for (const PlotTrace& trace : scene.Traces)
            widest = std::max(widest, metrics.horizontalAdvance(trace.Label));
        const QRectF box(area.Right() - widest - 40, y - 3, widest + 34, scene.Traces.size() * metrics.height() + 6);
        QColor back = colours.Background;
        back.setAlpha(220);
        painter.setPen(QPen(colours.Frame, 0));
        painter.setBrush(back);
        if (!scene.Traces.empty())
            painter.drawRect(box);
        for (const PlotTrace& trace : scene.Traces) {
            painter.setPen(QPen(trace.Colour, 2, trace.Style));
            painter.drawLine(
                QPointF(box.left() + 4, y + metrics.height() / 2), QPointF(box.left() + 22, y + metrics.height() / 2));
            painter.setPen(colours.Text);
            painter.drawText(QRectF(box.left() + 28, y, widest + 2, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                trace.Label);
            y += metrics.height();
        }
    }
    painter.restore();
}

} // namespace zop::viewer
