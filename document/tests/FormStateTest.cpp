#include <gtest/gtest.h>

#include "document/FormState.h"

namespace zop {
namespace {

TEST(EditField, OnlyADifferentTextRunsTheChangeHandler)
{
    EditField field(10);
    int changes = 0;
    field.OnChange = [&] { ++changes; };
    field.SetText("12/7/26");
    field.SetText("12/7/26");
    EXPECT_EQ(changes, 1);
    field.SetText("");
    EXPECT_EQ(changes, 2);
    field.SetText("a text longer than the typing limit");
    EXPECT_EQ(field.Text(), "a text longer than the typing limit");
}

TEST(FormState, StartsEmptyWithTheWaveformGroupOff)
{
    FormState state;
    EXPECT_EQ(state.Caption, "Tracelet - [Untitled]");
    EXPECT_FALSE(state.WaveformShown());
    for (Cmd c : { Cmd::SaveItem, Cmd::SaveasItem, Cmd::PrintItem, Cmd::CutItem, Cmd::CopyItem, Cmd::DotItem,
             Cmd::BarItem, Cmd::SmoothItem, Cmd::SaveBtn, Cmd::PrintBtn, Cmd::CutBtn, Cmd::CopyBtn, Cmd::DotBtn,
             Cmd::BarBtn, Cmd::SmoothBtn, Cmd::PasteItem, Cmd::PasteBtn })
        EXPECT_FALSE(state[c].Enabled) << CommandName(c);
    for (Cmd c :
        { Cmd::NewItem, Cmd::OpenItem, Cmd::ExitItem, Cmd::Probex1Item, Cmd::Probex10Item, Cmd::Com1Item, Cmd::Com4Item,
            Cmd::HelpTopicsItem, Cmd::AboutItem, Cmd::NewBtn, Cmd::OpenBtn, Cmd::Probex1Btn, Cmd::Probex10Btn })
        EXPECT_TRUE(state[c].Enabled) << CommandName(c);
    EXPECT_TRUE(state[Cmd::Probex1Item].Checked);
    EXPECT_TRUE(state[Cmd::Probex1Btn].Checked);
    EXPECT_FALSE(state[Cmd::Probex10Btn].Checked);
    EXPECT_EQ(state.ProbeMenuFactor(), 1);
    EXPECT_FALSE(state.Description.Enabled);
    EXPECT_TRUE(state.Description.Text().empty());
    EXPECT_EQ(state.Description.MaxLength, 40);
    EXPECT_EQ(state.DateField.MaxLength, 10);
    EXPECT_EQ(state.TimeField.MaxLength, 8);
}

TEST(FormState, ViewModeChecksOneItemAndPressesOneButton)
{
    FormState state;
    state.ShowViewMode(TraceMode::Bar);
    EXPECT_TRUE(state[Cmd::BarItem].Checked && state[Cmd::BarBtn].Checked);
    EXPECT_FALSE(state[Cmd::DotItem].Checked || state[Cmd::DotBtn].Checked);
    EXPECT_FALSE(state[Cmd::SmoothItem].Checked || state[Cmd::SmoothBtn].Checked);
    state.ShowProbe(10);
    EXPECT_EQ(state.ProbeMenuFactor(), 10);
    EXPECT_TRUE(state[Cmd::Probex10Btn].Checked);
    EXPECT_FALSE(state[Cmd::Probex1Item].Checked);
}

TEST(ViewModeSetting, DotOrBarInAnyCaseElseSmooth)
{
    EXPECT_EQ(ParseViewMode("dot"), TraceMode::Dot);
    EXPECT_EQ(ParseViewMode("DoT"), TraceMode::Dot);
    EXPECT_EQ(ParseViewMode("BAR"), TraceMode::Bar);
    EXPECT_EQ(ParseViewMode("Smooth"), TraceMode::Smooth);
    EXPECT_EQ(ParseViewMode("Error"), TraceMode::Smooth); // the default when nothing is stored
    EXPECT_EQ(ParseViewMode(""), TraceMode::Smooth);
    EXPECT_EQ(ParseViewMode("dot "), TraceMode::Smooth);
    EXPECT_EQ(ParseViewMode("\xFF\x00garbage"), TraceMode::Smooth);
    for (TraceMode mode : { TraceMode::Dot, TraceMode::Bar, TraceMode::Smooth })
        EXPECT_EQ(ParseViewMode(ViewModeName(mode)), mode);
    EXPECT_EQ(ViewModeName(TraceMode::Smooth), "Smooth");
}

} // namespace
} // namespace zop
