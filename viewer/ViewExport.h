#pragma once
// The view and the table as files: PNG at the screen's pixel ratio, SVG and
// PDF as vectors, the table as CSV. Each file is complete or not written.
#include <QFont>
#include <QSizeF>
#include <QString>

#include "viewer/PlotRenderer.h"

namespace zop::viewer {

enum class ViewFormat { Png, Svg, Pdf };

// The format named by a file's extension (any letter case); none for others.
std::optional<ViewFormat> ViewFormatOf(const QString& path);

// Draws `scene` at `size` logical pixels into `path`; a PNG has
// `pixelRatio` device pixels to each. Throws std::runtime_error with the
// reason when the file cannot be written; an existing file is then left as it was.
void ExportView(const QString& path, ViewFormat format, const PlotScene& scene, QSizeF size, const QFont& font,
    double pixelRatio, const QString& title);

// Writes `bytes` to `path` in the same way.
void WriteWhole(const QString& path, const QByteArray& bytes);

} // namespace zop::viewer
