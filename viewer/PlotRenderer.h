#pragma once
// Draws the viewer's plot with QPainter as vectors: the graticule with its
// time and volts scales, the captures, the two cursors and a rubber band.
// The same drawing serves the screen, PNG, SVG and PDF.
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

#include "viewer/PlotGeometry.h"

namespace zop::viewer {

enum class Theme { Light, Dark };

struct PlotColours {
    QColor Background;
    QColor Frame;
    QColor Grid;
    QColor Zero;
    QColor Text;
    QColor Cursor;
};
PlotColours ThemeColours(Theme theme);

// The colour of the n-th capture: a palette told apart by readers with any
// common colour-vision deficiency, tuned for the theme's background. After
// eight colours the line style changes.
QColor CaptureColour(size_t n, Theme theme);
Qt::PenStyle CaptureLineStyle(size_t n);

struct PlotTrace {
    const Capture* Data = nullptr;
    QColor Colour;
    Qt::PenStyle Style = Qt::SolidLine;
    double Width = 1.0; // logical pixels: one pixel at 100% takes the fast way of drawing
    QString Label; // shown in the legend drawn into exports
};

struct CursorPoint {
    double Seconds = 0;
    double Volts = 0;
};

struct PlotScene {
    ViewWindow Window;
    std::vector<PlotTrace> Traces; // drawn in order, the last on top
    double TimeDivision = 1e-3; // the reference capture's division sizes
    double VoltsDivision = 1;
    std::optional<CursorPoint> CursorA;
    std::optional<CursorPoint> CursorB;
    std::optional<QRectF> RubberBand; // logical pixels
    bool DrawLegend = false; // for exported pictures, which stand alone
    PlotColours Colours = ThemeColours(Theme::Light);
};

// The rectangle of the graticule inside a picture of `size`, leaving room
// for the scale texts of `font`.
PixelRect PlotArea(QSizeF size, const QFont& font);

// Paints the whole picture (background included) in logical pixels.
void RenderPlot(QPainter& painter, QSizeF size, const QFont& font, const PlotScene& scene);

} // namespace zop::viewer
