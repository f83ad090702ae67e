#pragma once
// The window's trace handlers: the redraw, the view and probe commands, the
// measurements and the mouse-placed measurement crosses. TraceView works on
// the window's state objects, which it does not own, and draws on the
// visible picture through TracePicture.
//
// Calls expected from the other handlers:
// - after the shown waveform was replaced (transfer, file, clipboard) and the
//   waveform group enabled: UpdateMeasurements(), then RedrawTrace();
// - New: clears the record and cursors itself, then ShowEmptyGraticule().
#include <cstdint>

#include "display/TracePicture.h"
#include "document/FormState.h"
#include "waveform/WaveformRecord.h"

namespace zop {

enum class MouseButton { Left, Right, Middle };

// The keys and buttons held during a mouse event.
enum ShiftFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using ShiftState = unsigned; // ShiftFlag bits

class TraceView {
public:
    TraceView(
        FormState& form, WaveformRecord& record, DocumentFlags& flags, CursorPositions& cursors, TracePicture& picture);
    // The same, keeping the rubber-band state in the window's own flag.
    TraceView(FormState& form, WaveformRecord& record, DocumentFlags& flags, CursorPositions& cursors,
        TracePicture& picture, bool& cursorsAtRest);

    // Rebuilds the visible picture: graticule, dotted red zero line, the
    // samples in the current ViewMode, the crosses; then the cursor readout.
    void RedrawTrace();
    // DC, peak-to-peak, RMS and dB into SettingsPanel panels 2..5, and the
    // record's measurement fields and Clipped flag. Does nothing before a
    // waveform has set the record's VoltIndex.
    void UpdateMeasurements();
    // dV, dt and f into StatusBar panels 1..3; nothing while no waveform is
    // shown (Save disabled).
    void UpdateCursorReadout();

    // New: the visible picture becomes the blank graticule again.
    void ShowEmptyGraticule();

    // View commands: nothing when the mode's item is already checked;
    // otherwise select the mode and redraw.
    void DotItemClick();
    void BarItemClick();
    void SmoothItemClick();
    // Probe commands: relabel the volts setting and rescale every voltage
    // figure; the picture does not change.
    void Probex1ItemClick();
    void Probex10ItemClick();

    // Mouse events of the visible picture, x and y in picture coordinates.
    // A press with the left button places the first cross, a drag with only
    // the left button held pulls the second one, the release leaves it.
    // Positions left or right of the picture use the first or last sample.
    void Image1MouseDown(MouseButton button, ShiftState shift, int x, int y);
    void Image1MouseMove(ShiftState shift, int x, int y);
    void Image1MouseUp(MouseButton button, ShiftState shift, int x, int y);

    // True when no rubber-band cross is on the picture.
    bool CursorsAtRest() const { return m_cursorsAtRest; }

private:
    void SelectMode(TraceMode mode, Cmd item);
    void SelectProbe(int32_t factor, Cmd item);
    // Sample column of a mouse x, limited to the picture's 96 samples.
    static int ColumnOf(int x);
    void DrawCrossLines(int32_t x, int32_t y, PenStyle style);

    FormState& m_form;
    WaveformRecord& m_record;
    DocumentFlags& m_flags;
    CursorPositions& m_cursors;
    TracePicture& m_picture;
    bool m_ownCursorsAtRest = true;
    bool& m_cursorsAtRest;
};

} // namespace zop
