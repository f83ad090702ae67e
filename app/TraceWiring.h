#pragma once
// Connects the trace handlers to the main window: the view and probe
// commands with their buttons, the mouse on the trace picture, and the
// picture itself (Image1, redrawn from the graticule in Image2).
#include "display/TraceView.h"
#include "document/DocumentCommands.h"
#include "platform/ImageTracePicture.h"

namespace zop {

class TZop5Form;
struct PictureMouseEvent;

class TraceWiring {
public:
    explicit TraceWiring(TZop5Form& form);
    TraceWiring(const TraceWiring&) = delete;
    TraceWiring& operator=(const TraceWiring&) = delete;

    // RedrawTrace, UpdateMeasurements and UpdateCursorReadout for the other
    // commands (transfer, files, clipboard).
    TraceView& View() { return m_view; }
    // The same as the hooks the document and link commands call.
    DisplayHooks Hooks();

private:
    void Mouse(const PictureMouseEvent& event);

    ImageTracePicture m_picture;
    TraceView m_view;
};

} // namespace zop
