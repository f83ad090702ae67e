#pragma once
// The visible trace picture over a QImage: every redraw starts from a copy of
// the blank graticule picture, and drawing goes through a QPainterCanvas that
// stays open until the handler is done with it.
#include <QImage>
#include <functional>
#include <optional>

#include "display/TracePicture.h"
#include "platform/QPainterCanvas.h"

namespace zop {

// The blank graticule as an RGB32 picture of 384 x 255.
QImage MakeGraticulePicture();

class ImageTracePicture : public TracePicture {
public:
    // Draws on `image`, which is kept in RGB32 (the inverting mix needs it);
    // `changed` runs after each finished drawing (the window repaints).
    ImageTracePicture(QImage& image, const QImage& graticule, std::function<void()> changed = {});
    ~ImageTracePicture() override;

    void ResetToGraticule() override;
    Canvas& Draw() override;
    void Finished() override;

private:
    void EndDrawing();

    QImage& m_image;
    const QImage& m_graticule;
    std::function<void()> m_changed;
    std::optional<QPainterCanvas> m_canvas;
};

} // namespace zop
