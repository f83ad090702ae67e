#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "display/RecordingCanvas.h"
#include "display/TraceView.h"

namespace zop {
namespace {

using Segment = RecordingCanvas::Segment;

class RecordedPicture : public TracePicture {
public:
    void ResetToGraticule() override
    {
        Canvas.Clear();
        ++Resets;
    }
    zop::Canvas& Draw() override { return Canvas; }
    void Finished() override { ++Finishes; }

    RecordingCanvas Canvas;
    int Resets = 0;
    int Finishes = 0;
};

// What the picture shows: the figures drawn in copy mix in order, and the
// inverted lines that an odd number of drawings left on it (drawing an
// inverted line twice restores what lay under it, in any order).
struct Shown {
    std::vector<RecordingCanvas::Op> Copied;
    std::map<std::tuple<int, int, int, int, int>, int> Inverted;

    bool operator==(const Shown& other) const
    {
        if (Inverted != other.Inverted || Copied.size() != other.Copied.size())
            return false;
        for (size_t i = 0; i < Copied.size(); ++i)
            if (Copied[i].Kind != other.Copied[i].Kind || Copied[i].From != other.Copied[i].From
                || Copied[i].To != other.Copied[i].To)
                return false;
        return true;
    }
};

Shown ShownOn(const RecordingCanvas& canvas)
{
    Shown shown;
    for (const RecordingCanvas::Op& op : canvas.Ops()) {
        if (op.Kind == RecordingCanvas::OpKind::Line && op.PenUsed.Mix == PenMix::NotXorPen) {
            const auto key
                = std::make_tuple(op.From.X, op.From.Y, op.To.X, op.To.Y, static_cast<int>(op.PenUsed.Style));
            if (++shown.Inverted[key] == 2)
                shown.Inverted.erase(key);
        } else if (op.Kind != RecordingCanvas::OpKind::Move) {
            shown.Copied.push_back(op);
        }
    }
    return shown;
}

std::string Describe(const Shown& shown)
{
    std::string out;
    for (const auto& [key, count] : shown.Inverted) {
        const auto [x1, y1, x2, y2, style] = key;
        out += "(" + std::to_string(x1) + "," + std::to_string(y1) + ")-(" + std::to_string(x2) + ","
            + std::to_string(y2) + (style ? " dotted) " : " solid) ");
    }
    return out;
}

class TraceViewTest : public testing::Test {
protected:
    TraceViewTest()
    {
        for (int i = 0; i < SampleCount; ++i)
            record.Samples[i] = 100 + (i % 10) * 5; // 100..145, columns 4i..4i+3
        record.ZeroRef = 127;
        record.VoltIndex = 5;
        record.TimeIndex = 9;
        form.SetWaveformShown(true);
        form.SetFieldGroup(true);
    }

    // The picture a fresh redraw with the same state and cursors shows.
    Shown Fresh()
    {
        FormState freshForm;
        freshForm.SetWaveformShown(true);
        freshForm.ShowViewMode(form.ViewMode);
        WaveformRecord r = record;
        DocumentFlags f;
        CursorPositions c = cursors;
        RecordedPicture p;
        TraceView v(freshForm, r, f, c, p);
        v.RedrawTrace();
        return ShownOn(p.Canvas);
    }

    void ExpectLikeFreshRedraw()
    {
        const Shown now = ShownOn(picture.Canvas);
        const Shown fresh = Fresh();
        EXPECT_TRUE(now == fresh) << "picture: " << Describe(now) << "\nfresh:   " << Describe(fresh);
    }

    FormState form;
    WaveformRecord record;
    DocumentFlags flags;
    CursorPositions cursors;
    RecordedPicture picture;
    TraceView view { form, record, flags, cursors, picture };
};

TEST_F(TraceViewTest, RedrawStartsFromTheGraticuleAndEndsWithTheReadout)
{
    cursors = { 42, 100, 122, 120 };
    form.ShowViewMode(TraceMode::Dot);
    picture.Canvas.FillRect(1, 1, 2, 2); // something left from before
    view.RedrawTrace();
    EXPECT_EQ(picture.Resets, 1);
    EXPECT_EQ(picture.Canvas.Fills().size(), 96u);
    EXPECT_EQ(picture.Canvas.Fills()[0], (RecordingCanvas::Fill { 0, 153, 4, 156, Colours::Blue }));
    EXPECT_EQ(form.StatusBar[1], "dV=63mV");
    EXPECT_EQ(form.StatusBar[2], "dt=2ms");
    EXPECT_EQ(form.StatusBar[3], "f=500Hz");
    EXPECT_EQ(picture.Canvas.GetPen(), Pen {}); // pen and brush as before
    EXPECT_EQ(picture.Canvas.GetBrush(), Brush {});
}

TEST_F(TraceViewTest, ViewCommandsSwitchTheModeAndRedrawOnlyWhenItChanges)
{
    ASSERT_EQ(form.ViewMode, TraceMode::Smooth);
    view.SmoothItemClick(); // already checked
    EXPECT_EQ(picture.Resets, 0);
    view.BarItemClick();
    EXPECT_EQ(form.ViewMode, TraceMode::Bar);
    EXPECT_TRUE(form[Cmd::BarItem].Checked);
    EXPECT_TRUE(form[Cmd::BarBtn].Checked);
    EXPECT_FALSE(form[Cmd::SmoothItem].Checked);
    EXPECT_FALSE(form[Cmd::SmoothBtn].Checked);
    EXPECT_EQ(picture.Resets, 1);
    EXPECT_FALSE(picture.Canvas.Fills().empty());
    view.BarItemClick();
    EXPECT_EQ(picture.Resets, 1);
    view.DotItemClick();
    EXPECT_EQ(form.ViewMode, TraceMode::Dot);
    EXPECT_TRUE(form[Cmd::DotBtn].Checked);
    EXPECT_FALSE(form[Cmd::BarBtn].Checked);
    EXPECT_EQ(picture.Resets, 2);
    // Without a waveform the blank graticule stays as it is.
    form.SetWaveformShown(false);
    view.SmoothItemClick();
    EXPECT_EQ(form.ViewMode, TraceMode::Smooth);
    EXPECT_EQ(picture.Resets, 2);
}

TEST_F(TraceViewTest, ProbeCommandsRelabelAndRescaleWithoutRedrawing)
{
    record.Samples[3] = 150;
    record.Samples[5] = 100;
    cursors = { 14, 105, 22, 155 };
    view.UpdateMeasurements();
    view.UpdateCursorReadout();
    const std::string dt = form.StatusBar[2];
    const std::string f = form.StatusBar[3];
    EXPECT_EQ(form.StatusBar[1], "dV=157mV");
    view.Probex10ItemClick();
    EXPECT_TRUE(form[Cmd::Probex10Item].Checked);
    EXPECT_TRUE(form[Cmd::Probex10Btn].Checked);
    EXPECT_FALSE(form[Cmd::Probex1Btn].Checked);
    EXPECT_EQ(form.SettingsPanel[1], "1V/div");
    EXPECT_EQ(form.StatusBar[1], "dV=1.57V");
    EXPECT_EQ(form.StatusBar[2], dt);
    EXPECT_EQ(form.StatusBar[3], f);
    EXPECT_EQ(form.SettingsPanel[3], "1.57Vpp"); // 50 counts, now 31.496 mV each
    EXPECT_TRUE(flags.ProbeChanged);
    EXPECT_EQ(picture.Resets, 0);
    EXPECT_TRUE(picture.Canvas.Ops().empty());

    view.Probex10ItemClick(); // already checked: nothing
    EXPECT_TRUE(flags.ProbeChanged);
    view.Probex1ItemClick();
    EXPECT_EQ(form.SettingsPanel[1], "0.1V/div");
    EXPECT_EQ(form.StatusBar[1], "dV=157mV");
    EXPECT_FALSE(flags.ProbeChanged); // back to the record's factor

    record.ProbeFactor = 10; // a document saved with the x10 probe
    view.Probex10ItemClick();
    EXPECT_FALSE(flags.ProbeChanged);
    view.Probex1ItemClick();
    EXPECT_TRUE(flags.ProbeChanged);
}

TEST_F(TraceViewTest, ProbeWithoutAWaveformOnlySwitchesTheMenu)
{
    form.SetWaveformShown(false);
    record.VoltIndex = 0;
    view.Probex10ItemClick();
    EXPECT_TRUE(form[Cmd::Probex10Item].Checked);
    EXPECT_EQ(form.SettingsPanel[1], "");
    EXPECT_FALSE(flags.ProbeChanged);
}

TEST_F(TraceViewTest, MeasurementsGoToTheirPanels)
{
    record.Samples.fill(127);
    view.UpdateMeasurements();
    EXPECT_EQ(form.SettingsPanel[2], "0mVdc");
    EXPECT_EQ(form.SettingsPanel[3], "0mVpp");
    EXPECT_EQ(form.SettingsPanel[4], "0mVrms");
    EXPECT_EQ(form.SettingsPanel[5], "... dB");
    EXPECT_EQ(form.SettingsPanel[0], "");
    record.VoltIndex = 0; // no waveform ever arrived: nothing to measure
    form.SettingsPanel[2] = "x";
    view.UpdateMeasurements();
    EXPECT_EQ(form.SettingsPanel[2], "x");
}

TEST_F(TraceViewTest, ReadoutDoesNothingWhileNoWaveformIsShown)
{
    cursors = { 42, 100, 122, 120 };
    form.SetWaveformShown(false);
    form.StatusBar[2] = "old";
    view.UpdateCursorReadout();
    EXPECT_EQ(form.StatusBar[2], "old");
}

TEST_F(TraceViewTest, ClickWithoutMovingLeavesOneDottedCross)
{
    view.RedrawTrace();
    view.Image1MouseDown(MouseButton::Left, ssLeft, 41, 7); // column 10
    view.Image1MouseUp(MouseButton::Left, ssLeft, 41, 7);
    EXPECT_EQ(cursors, (CursorPositions { 42, 155, 42, 155 }));
    EXPECT_EQ(form.StatusBar[1], "dV=0mV");
    EXPECT_EQ(form.StatusBar[2], "dt=0ms");
    EXPECT_EQ(form.StatusBar[3], "f=...Hz");
    const Shown shown = ShownOn(picture.Canvas);
    EXPECT_EQ(shown.Inverted.size(), 2u) << Describe(shown);
    ExpectLikeFreshRedraw();
}

TEST_F(TraceViewTest, PressDragReleaseEndsLikeAFreshRedraw)
{
    for (TraceMode mode : { TraceMode::Dot, TraceMode::Bar, TraceMode::Smooth }) {
        form.ShowViewMode(mode);
        cursors = { 10, 20, 30, 40 };
        view.RedrawTrace();
        view.Image1MouseDown(MouseButton::Left, ssLeft, 40, 0);
        EXPECT_TRUE(view.CursorsAtRest());
        for (int x = 40; x <= 120; x += 3) {
            view.Image1MouseMove(ssLeft, x, 0);
            EXPECT_FALSE(view.CursorsAtRest());
        }
        view.Image1MouseUp(MouseButton::Left, ssLeft, 122, 0);
        EXPECT_TRUE(view.CursorsAtRest());
        EXPECT_EQ(cursors, (CursorPositions { 42, 155, 122, 155 }));
        EXPECT_EQ(form.StatusBar[2], "dt=2ms");
        EXPECT_EQ(form.StatusBar[3], "f=500Hz");
        ExpectLikeFreshRedraw();
    }
}

TEST_F(TraceViewTest, DragsAcrossTheZeroRowAndBackToTheStartColumn)
{
    record.Samples[20] = 127; // row 128: the zero-reference row
    record.Samples[30] = 127;
    view.RedrawTrace();
    // Start on the zero row: only the vertical line is dotted there.
    view.Image1MouseDown(MouseButton::Left, ssLeft, 81, 0);
    EXPECT_EQ(ShownOn(picture.Canvas).Inverted.size(), 1u);
    view.Image1MouseMove(ssLeft, 100, 0);
    view.Image1MouseMove(ssLeft, 121, 0); // also on the zero row
    view.Image1MouseUp(MouseButton::Left, ssLeft, 121, 0);
    EXPECT_EQ(cursors, (CursorPositions { 82, 128, 122, 128 }));
    EXPECT_EQ(ShownOn(picture.Canvas).Inverted.size(), 2u);
    ExpectLikeFreshRedraw();
    // Another drag that ends in its own starting column, on another row.
    view.Image1MouseDown(MouseButton::Left, ssLeft, 10, 0);
    view.Image1MouseMove(ssLeft, 50, 0);
    view.Image1MouseMove(ssLeft, 11, 0);
    view.Image1MouseUp(MouseButton::Left, ssLeft, 11, 0);
    EXPECT_EQ(cursors, (CursorPositions { 10, 145, 10, 145 }));
    ExpectLikeFreshRedraw();
    // And one ending on the first cross's row in another column.
    view.Image1MouseDown(MouseButton::Left, ssLeft, 0, 0); // sample 100
    view.Image1MouseUp(MouseButton::Left, ssLeft, 160, 0); // column 40: sample 100
    EXPECT_EQ(cursors, (CursorPositions { 2, 155, 162, 155 }));
    EXPECT_EQ(ShownOn(picture.Canvas).Inverted.size(), 3u);
    ExpectLikeFreshRedraw();
}

TEST_F(TraceViewTest, PositionsOutsideThePictureUseTheEdgeSamples)
{
    view.RedrawTrace();
    view.Image1MouseDown(MouseButton::Left, ssLeft, -30, -5);
    EXPECT_EQ(cursors.X1, 2);
    view.Image1MouseMove(ssLeft, 5000, 300);
    EXPECT_EQ(cursors.X2, 382);
    EXPECT_EQ(cursors.Y2, 255 - record.Samples[95]);
    view.Image1MouseUp(MouseButton::Left, ssLeft, 384, 0);
    EXPECT_EQ(cursors.X2, 382);
    EXPECT_EQ(form.StatusBar[2], "dt=9.5ms");
    ExpectLikeFreshRedraw();
}

TEST_F(TraceViewTest, OtherButtonsAndModifiedDragsChangeNothing)
{
    view.RedrawTrace();
    const size_t before = picture.Canvas.Ops().size();
    view.Image1MouseDown(MouseButton::Right, ssRight, 40, 0);
    view.Image1MouseDown(MouseButton::Middle, ssMiddle, 40, 0);
    view.Image1MouseMove(ssLeft | ssCtrl, 60, 0);
    view.Image1MouseMove(ssLeft | ssShift, 60, 0);
    view.Image1MouseMove(ssLeft | ssRight, 60, 0);
    view.Image1MouseMove(0, 60, 0);
    view.Image1MouseUp(MouseButton::Right, ssRight, 40, 0);
    EXPECT_EQ(picture.Canvas.Ops().size(), before);
    EXPECT_EQ(cursors, CursorPositions {});
    EXPECT_EQ(form.StatusBar[1], "");

    form.SetWaveformShown(false); // no waveform: the left button does nothing either
    view.Image1MouseDown(MouseButton::Left, ssLeft, 40, 0);
    view.Image1MouseMove(ssLeft, 60, 0);
    view.Image1MouseUp(MouseButton::Left, ssLeft, 60, 0);
    EXPECT_EQ(picture.Canvas.Ops().size(), before);
    EXPECT_EQ(cursors, CursorPositions {});
}

TEST_F(TraceViewTest, RedrawDuringADragKeepsThePictureConsistent)
{
    view.RedrawTrace();
    view.Image1MouseDown(MouseButton::Left, ssLeft, 40, 0);
    view.Image1MouseMove(ssLeft, 80, 0);
    view.BarItemClick(); // a shortcut pressed while the button is held
    view.Image1MouseMove(ssLeft, 100, 0);
    view.Image1MouseUp(MouseButton::Left, ssLeft, 120, 0);
    ExpectLikeFreshRedraw();
}

TEST_F(TraceViewTest, WaveformGoneDuringADragLeavesNoStrayLines)
{
    view.RedrawTrace();
    view.Image1MouseDown(MouseButton::Left, ssLeft, 40, 0);
    view.Image1MouseMove(ssLeft, 80, 0);
    // New while the button is held: graticule, cursors cleared, release ignored.
    form.SetWaveformShown(false);
    picture.ResetToGraticule();
    cursors = {};
    view.Image1MouseUp(MouseButton::Left, ssLeft, 80, 0);
    // A new waveform arrives and the user clicks and drags again.
    form.SetWaveformShown(true);
    view.RedrawTrace();
    view.Image1MouseDown(MouseButton::Left, ssLeft, 200, 0);
    view.Image1MouseMove(ssLeft, 240, 0);
    view.Image1MouseUp(MouseButton::Left, ssLeft, 240, 0);
    ExpectLikeFreshRedraw();
}

} // namespace
} // namespace zop
