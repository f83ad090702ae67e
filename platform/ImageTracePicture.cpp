#include "platform/ImageTracePicture.h"

#include <cstring>

#include "display/Graticule.h"

namespace zop {

QImage MakeGraticulePicture()
{
    QImage image(TraceWidth, TraceHeight, QImage::Format_RGB32);
    QPainterCanvas canvas(&image);
    DrawGraticule(canvas);
    return image;
}

ImageTracePicture::ImageTracePicture(QImage& image, const QImage& graticule, std::function<void()> changed)
    : m_image(image)
    , m_graticule(graticule)
    , m_changed(std::move(changed))
{
}

ImageTracePicture::~ImageTracePicture()
{
    EndDrawing();
}

void ImageTracePicture::EndDrawing()
{
    m_canvas.reset();
}

void ImageTracePicture::ResetToGraticule()
{
    EndDrawing();
    if (m_image.size() == m_graticule.size() && m_image.format() == QImage::Format_RGB32
        && m_graticule.format() == QImage::Format_RGB32 && m_image.bytesPerLine() == m_graticule.bytesPerLine()) {
        std::memcpy(m_image.bits(), m_graticule.constBits(), static_cast<size_t>(m_graticule.sizeInBytes()));
    } else {
        m_image = m_graticule.convertToFormat(QImage::Format_RGB32);
    }
}

Canvas& ImageTracePicture::Draw()
{
    if (!m_canvas) {
        if (m_image.format() != QImage::Format_RGB32)
            m_image = m_image.convertToFormat(QImage::Format_RGB32);
        m_canvas.emplace(&m_image);
    }
    return *m_canvas;
}

void ImageTracePicture::Finished()
{
    EndDrawing();
    if (m_changed)
        m_changed();
}

} // namespace zop
