#pragma once
// The spectrum pane: the levels of the selected capture's 49 frequency bins
// drawn as bars over a dBV scale, with the dominant frequency marked; and
// the pure mapping of its picture.
#include <QWidget>
#include <optional>

#include "analysis/Spectrum.h"
#include "viewer/PlotRenderer.h"

namespace zop::viewer {

// The window of a spectrum picture: 0 Hz to the Nyquist frequency across, and
// 80 dB below the strongest bin (rounded up to 10 dB) to it.
ViewWindow SpectrumWindowOf(const WaveformSpectrum& spectrum, double sampleSeconds);

struct SpectrumScene {
    WaveformSpectrum Data;
    double SampleSeconds = 1e-4;
    QColor Colour;
    PlotColours Colours = ThemeColours(Theme::Light);
};

void RenderSpectrum(QPainter& painter, QSizeF size, const QFont& font, const SpectrumScene& scene);

class SpectrumView : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumView(QWidget* parent = nullptr);
    void SetScene(std::optional<SpectrumScene> scene);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<SpectrumScene> m_scene;
};

} // namespace zop::viewer
