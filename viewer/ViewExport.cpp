#include "viewer/ViewExport.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontInfo>
#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <cmath>
#include <stdexcept>

namespace zop::viewer {

std::optional<ViewFormat> ViewFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "png")
        return ViewFormat::Png;
    if (suffix == "svg")
        return ViewFormat::Svg;
    if (suffix == "pdf")
        return ViewFormat::Pdf;
    return std::nullopt;
}

void WriteWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(
            QString("%1 cannot be written: %2").arg(QFileInfo(path).fileName(), file.errorString()).toStdString());
}

void ExportView(const QString& path, ViewFormat format, const PlotScene& scene, QSizeF size, const QFont& font,
    double pixelRatio, const QString& title)
{
    // The texts keep their size on the screen, whatever the resolution of the file.
    QFont pixelFont = font;
    pixelFont.setPixelSize(QFontInfo(font).pixelSize());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    switch (format) {
    case ViewFormat::Png: {
        QImage image(QSize(int(std::lround(size.width() * pixelRatio)), int(std::lround(size.height() * pixelRatio))),
            QImage::Format_RGB32);
        image.setDevicePixelRatio(pixelRatio);
        QPainter painter(&image);
        RenderPlot(painter, size, pixelFont, scene);
        painter.end();
        if (!image.save(&buffer, "PNG"))
            throw std::runtime_error("The picture could not be made.");
        break;
    }
    case ViewFormat::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size.toSize());
        svg.setViewBox(QRectF(QPointF(0, 0), size));
        svg.setTitle(title);
        svg.setDescription("Tracelet Viewer");
        QPainter painter(&svg);
        RenderPlot(painter, size, pixelFont, scene);
        break;
    }
    case ViewFormat::Pdf: {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(title);
        pdf.setCreator("Tracelet Viewer");
        // One page of the view's own proportions, 72 logical pixels to the inch.
        pdf.setPageSize(QPageSize(size, QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(72);
        QPainter painter(&pdf);
        RenderPlot(painter, size, pixelFont, scene);
        break;
    }
    }
    buffer.close();
    if (bytes.isEmpty())
        throw std::runtime_error("The picture could not be made.");
    WriteWhole(path, bytes);
}

} // namespace zop::viewer
