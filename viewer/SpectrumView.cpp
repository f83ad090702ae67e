#include "viewer/SpectrumView.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "display/FormatGeneral3.h"
#include "viewer/MeasurementTable.h"

namespace zop::viewer {

ViewWindow SpectrumWindowOf(const WaveformSpectrum& spectrum, double sampleSeconds)
{
    double top = -60;
    if (spectrum.Bins)
        for (const SpectrumBin& bin : *spectrum.Bins)
            top = std::max(top, bin.Dbv);
    if (spectrum.DominantDbv)
        top = std::max(top, *spectrum.DominantDbv);
    top = std::ceil(top / 10) * 10;
    return { { 0, 0.5 / sampleSeconds }, { top - 80, top } };
}

void RenderSpectrum(QPainter& painter, QSizeF size, const QFont& font, const SpectrumScene& scene)
{
    const PlotColours& colours = scene.Colours;
    const ViewWindow window = SpectrumWindowOf(scene.Data, scene.SampleSeconds);
    const PixelRect area = PlotArea(size, font);
    const PlotMapping mapping(area, window);
    const QFontMetricsF metrics(font);
    const char separator = DecimalSeparator();
    painter.save();
    painter.setFont(font);
    painter.fillRect(QRectF(QPointF(0, 0), size), colours.Background);

    // Lines every 20 dB and at 1-2-5 steps of frequency.
    painter.setPen(QPen(colours.Grid, 0));
    const std::vector<double> levels = Ticks(window.Volts, 20);
    const double hzStep = DivisionStep(window.Time.Span(), window.Time.Span() / 5, 5);
    const std::vector<double> frequencies = Ticks(window.Time, hzStep);
    for (double db : levels)
        painter.drawLine(QPointF(area.Left, mapping.Y(db)), QPointF(area.Right(), mapping.Y(db)));
    for (double hz : frequencies)
        painter.drawLine(QPointF(mapping.X(hz), area.Top), QPointF(mapping.X(hz), area.Bottom()));
    painter.setPen(QPen(colours.Frame, 0));
    painter.drawRect(QRectF(area.Left, area.Top, area.Width, area.Height));
    painter.setPen(colours.Text);
    for (double db : levels)
        painter.drawText(QRectF(0, mapping.Y(db) - metrics.height() / 2, area.Left - 6, metrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(FormatGeneral3(db, separator)) + " dBV");
    double lastRight = -1e9;
    for (double hz : frequencies) {
        const QString text = QString::fromStdString(FormatQuantity(hz, Unit::Hertz, separator));
        const double width = metrics.horizontalAdvance(text);
        const double x = std::min(mapping.X(hz) - width / 2, size.width() - width - 2);
        if (x < lastRight + 8)
            continue;
        painter.drawText(QRectF(x, area.Bottom() + 4, width + 1, metrics.height()), Qt::AlignCenter, text);
        lastRight = x + width;
    }

    if (!scene.Data.Bins) {
        painter.drawText(QRectF(area.Left, area.Top, area.Width, area.Height), Qt::AlignCenter,
            QCoreApplication::translate("zop::viewer::SpectrumView", "No spectrum: the capture is clipped"));
        painter.restore();
        return;
    }
    // One bar a bin, from the bottom of the scale to its level.
    const double barWidth = std::max(1.0, area.Width / SpectrumBins * 0.6);
    painter.setClipRect(QRectF(area.Left, area.Top, area.Width, area.Height));
    for (const SpectrumBin& bin : *scene.Data.Bins) {
        const double x = mapping.X(bin.Hz);
        const double y = mapping.Y(std::max(bin.Dbv, window.Volts.Low));
        painter.fillRect(QRectF(x - barWidth / 2, y, barWidth, area.Bottom() - y), scene.Colour);
    }
    if (scene.Data.DominantHz) {
        painter.setPen(QPen(colours.Cursor, 0, Qt::DashLine));
        const double x = mapping.X(*scene.Data.DominantHz);
        painter.drawLine(QPointF(x, area.Top), QPointF(x, area.Bottom()));
    }
    painter.restore();
}

SpectrumView::SpectrumView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("SpectrumPicture");
    setAccessibleName(tr("Spectrum of the selected capture"));
    setMinimumSize(240, 160);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpectrumView::SetScene(std::optional<SpectrumScene> scene)
{
    m_scene = std::move(scene);
    update();
}

void SpectrumView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_scene) {
        painter.fillRect(rect(), palette().base());
        painter.setPen(palette().text().color());
        painter.drawText(rect(), Qt::AlignCenter, tr("No capture selected"));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    RenderSpectrum(painter, QSizeF(size()), font(), *m_scene);
}

} // namespace zop::viewer
