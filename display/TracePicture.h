#pragma once
// The visible trace picture as the display handlers see it. The window
// implements it over its off-screen image (Image1), with the blank graticule
// (Image2) as the picture every redraw starts from; tests implement it over a
// recording canvas.
#include "display/Canvas.h"

namespace zop {

class TracePicture {
public:
    virtual ~TracePicture() = default;

    // Replaces the visible picture by a copy of the blank graticule.
    virtual void ResetToGraticule() = 0;
    // The canvas that draws on the visible picture, valid until Finished().
    virtual Canvas& Draw() = 0;
    // One handler's drawing is complete: the window may show the picture.
    virtual void Finished() { }
};

} // namespace zop
