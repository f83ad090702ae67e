#include "display/TraceView.h"

#include <algorithm>

#include "display/FormatGeneral3.h"
#include "display/Measurements.h"
#include "display/TraceRenderer.h"
#include "waveform/ScaleTables.h"

namespace zop {

TraceView::TraceView(
    FormState& form, WaveformRecord& record, DocumentFlags& flags, CursorPositions& cursors, TracePicture& picture)
    : m_form(form)
    , m_record(record)
    , m_flags(flags)
    , m_cursors(cursors)
    , m_picture(picture)
    , m_cursorsAtRest(m_ownCursorsAtRest)
{
}

TraceView::TraceView(FormState& form, WaveformRecord& record, DocumentFlags& flags, CursorPositions& cursors,
    TracePicture& picture, bool& cursorsAtRest)
    : m_form(form)
    , m_record(record)
    , m_flags(flags)
    , m_cursors(cursors)
    , m_picture(picture)
    , m_cursorsAtRest(cursorsAtRest)
{
}

void TraceView::RedrawTrace()
{
    m_picture.ResetToGraticule();
    Canvas& canvas = m_picture.Draw();
    const Pen pen = canvas.GetPen();
    const Brush brush = canvas.GetBrush();
    const TraceLayout layout = TraceLayout::Screen();
    if (m_cursorsAtRest) {
        RenderTraceGeometry(canvas, layout, m_record, m_form.ViewMode, m_cursors);
    } else {
        // A redraw in the middle of a drag (a transfer completing while the
        // button is held): draw the crosses as the mouse handlers left them,
        // the dotted first cross and the solid rubber band, so that the next
        // move or release erases exactly what is there.
        CursorPositions first = m_cursors;
        first.X2 = first.X1;
        first.Y2 = first.Y1;
        RenderTraceGeometry(canvas, layout, m_record, m_form.ViewMode, first);
        DrawCrossLines(m_cursors.X2, m_cursors.Y2, PenStyle::Solid);
    }
    UpdateCursorReadout();
    canvas.SetPen(pen);
    canvas.SetBrush(brush);
    m_picture.Finished();
}

void TraceView::ShowEmptyGraticule()
{
    m_picture.ResetToGraticule();
    m_picture.Finished();
}

void TraceView::UpdateMeasurements()
{
    if (!ValidVoltIndex(m_record.VoltIndex))
        return;
    const MeasurementTexts texts = Measure(m_record, m_flags, m_form.ProbeMenuFactor(), DecimalSeparator());
    m_form.SettingsPanel[DcPanel] = texts.Dc;
    m_form.SettingsPanel[PeakToPeakPanel] = texts.PeakToPeak;
    m_form.SettingsPanel[RmsPanel] = texts.Rms;
    m_form.SettingsPanel[DbPanel] = texts.Db;
}

void TraceView::UpdateCursorReadout()
{
    if (!m_form.WaveformShown() || !ValidVoltIndex(m_record.VoltIndex) || !ValidTimeIndex(m_record.TimeIndex))
        return;
    const CursorReadoutTexts texts = ReadCursors(m_cursors, m_record, m_form.ProbeMenuFactor(), DecimalSeparator());
    m_form.StatusBar[VoltDifferencePanel] = texts.VoltDifference;
    m_form.StatusBar[TimeDifferencePanel] = texts.TimeDifference;
    m_form.StatusBar[FrequencyPanel] = texts.Frequency;
}

void TraceView::SelectMode(TraceMode mode, Cmd item)
{
    if (m_form[item].Checked)
        return;
    m_form.ShowViewMode(mode);
    // The commands are enabled only while a waveform is shown; without one
    // the picture stays the blank graticule.
    if (m_form.WaveformShown())
        RedrawTrace();
}

void TraceView::DotItemClick()
{
    SelectMode(TraceMode::Dot, Cmd::DotItem);
}

void TraceView::BarItemClick()
{
    SelectMode(TraceMode::Bar, Cmd::BarItem);
}

void TraceView::SmoothItemClick()
{
    SelectMode(TraceMode::Smooth, Cmd::SmoothItem);
}

void TraceView::SelectProbe(int32_t factor, Cmd item)
{
    if (m_form[item].Checked)
        return;
    m_form.ShowProbe(factor);
    if (!m_form.WaveformShown() || !ValidVoltIndex(m_record.VoltIndex))
        return;
    m_form.SettingsPanel[VoltsDivPanel] = std::string(VoltsLabel(m_record.VoltIndex, factor));
    UpdateMeasurements();
    UpdateCursorReadout();
    m_flags.ProbeChanged = factor != m_record.ProbeFactor;
}

void TraceView::Probex1ItemClick()
{
    SelectProbe(1, Cmd::Probex1Item);
}

void TraceView::Probex10ItemClick()
{
    SelectProbe(10, Cmd::Probex10Item);
}

int TraceView::ColumnOf(int x)
{
    return std::clamp(x / 4, 0, SampleCount - 1);
}

void TraceView::DrawCrossLines(int32_t x, int32_t y, PenStyle style)
{
    Canvas& canvas = m_picture.Draw();
    const TraceLayout layout = TraceLayout::Screen();
    DrawCrossVertical(canvas, layout, x, style);
    DrawCrossHorizontal(canvas, layout, y, style);
}

void TraceView::Image1MouseDown(MouseButton button, ShiftState, int x, int)
{
    if (button != MouseButton::Left || !m_form.WaveformShown())
        return;
    const int col = ColumnOf(x);
    const int32_t cx = 4 * col + 2;
    const int32_t cy = 255 - m_record.Samples[static_cast<size_t>(col)];
    const int32_t zeroRow = 255 - m_record.ZeroRef;
    Canvas& canvas = m_picture.Draw();
    const TraceLayout layout = TraceLayout::Screen();
    const Pen pen = canvas.GetPen();

    // Erase the crosses on the picture by drawing them again. A rubber band
    // left by a drag whose release never arrived (the waveform went away
    // mid-drag) is solid and goes first.
    if (!m_cursorsAtRest) {
        DrawCrossLines(m_cursors.X2, m_cursors.Y2, PenStyle::Solid);
        CursorPositions first = m_cursors;
        first.X2 = first.X1;
        first.Y2 = first.Y1;
        DrawCrosses(canvas, layout, first, m_record.ZeroRef, PenStyle::Dot);
    } else {
        DrawCrosses(canvas, layout, m_cursors, m_record.ZeroRef, PenStyle::Dot);
    }
    DrawCrossVertical(canvas, layout, cx, PenStyle::Dot);
    if (cy != zeroRow)
        DrawCrossHorizontal(canvas, layout, cy, PenStyle::Dot);
    canvas.SetPen(pen);

    m_cursors.X1 = m_cursors.X2 = cx;
    m_cursors.Y1 = m_cursors.Y2 = cy;
    m_cursorsAtRest = true;
    UpdateCursorReadout();
    m_picture.Finished();
}

void TraceView::Image1MouseMove(ShiftState shift, int x, int)
{
    if ((shift & ~ssDouble) != ssLeft || !m_form.WaveformShown())
        return;
    const int col = ColumnOf(x);
    const int32_t cx = 4 * col + 2;
    const int32_t cy = 255 - m_record.Samples[static_cast<size_t>(col)];
    Canvas& canvas = m_picture.Draw();
    const Pen pen = canvas.GetPen();

    if (!m_cursorsAtRest)
        DrawCrossLines(m_cursors.X2, m_cursors.Y2, PenStyle::Solid);
    DrawCrossLines(cx, cy, PenStyle::Solid);
    canvas.SetPen(pen);

    m_cursors.X2 = cx;
    m_cursors.Y2 = cy;
    UpdateCursorReadout();
    m_cursorsAtRest = false;
    m_picture.Finished();
}

void TraceView::Image1MouseUp(MouseButton button, ShiftState, int x, int)
{
    if (button != MouseButton::Left || !m_form.WaveformShown())
        return;
    const int col = ColumnOf(x);
    const int32_t cx = 4 * col + 2;
    const int32_t cy = 255 - m_record.Samples[static_cast<size_t>(col)];
    const int32_t zeroRow = 255 - m_record.ZeroRef;
    Canvas& canvas = m_picture.Draw();
    const TraceLayout layout = TraceLayout::Screen();
    const Pen pen = canvas.GetPen();

    if (!m_cursorsAtRest)
        DrawCrossLines(m_cursors.X2, m_cursors.Y2, PenStyle::Solid);
    if (cx != m_cursors.X1)
        DrawCrossVertical(canvas, layout, cx, PenStyle::Dot);
    if (cy != m_cursors.Y1 && cy != zeroRow)
        DrawCrossHorizontal(canvas, layout, cy, PenStyle::Dot);
    canvas.SetPen(pen);

    m_cursorsAtRest = true;
    m_cursors.X2 = cx;
    m_cursors.Y2 = cy;
    UpdateCursorReadout();
    m_picture.Finished();
}

} // namespace zop
