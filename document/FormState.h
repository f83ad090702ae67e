#pragma once
// The main window's observable state as plain data: caption, the commands'
// enabled and checked states, the three edit fields, the status panels. The
// command handlers of every subsystem change this state; the Qt window only
// mirrors it into its widgets and feeds user input back.
//
// Texts here are Windows-1252 bytes. File paths are native bytes (UTF-8 on
// Linux); a path that becomes part of a text goes through Utf8ToCp1252.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zop {

// Every menu command and tool button, in menu order and then tool-bar order.
enum class Cmd : int {
    NewItem,
    OpenItem,
    SaveItem,
    SaveasItem,
    PrintItem,
    ExitItem,
    CutItem,
    CopyItem,
    PasteItem,
    DotItem,
    BarItem,
    SmoothItem,
    Probex1Item,
    Probex10Item,
    Com1Item,
    Com2Item,
    Com3Item,
    Com4Item,
    HelpTopicsItem,
    AboutItem,
    NewBtn,
    OpenBtn,
    SaveBtn,
    PrintBtn,
    CutBtn,
    CopyBtn,
    PasteBtn,
    DotBtn,
    BarBtn,
    SmoothBtn,
    Probex1Btn,
    Probex10Btn,
    Count
};
constexpr size_t CommandCount = static_cast<size_t>(Cmd::Count);

// The control's name as the program's code calls it ("SaveItem").
std::string_view CommandName(Cmd command);
// The menu item whose command a tool button runs; a menu item is its own.
Cmd MenuItemOf(Cmd command);

// Checked is the check mark of a menu item and the pressed state of a button.
struct CommandState {
    bool Enabled = true;
    bool Checked = false;
};

// The trace drawing mode; the values are those stored and compared.
enum class TraceMode : uint8_t { Dot = 0, Bar = 1, Smooth = 2 };

// An edit field: setting a different text runs OnChange, setting the text it
// already holds does not. MaxLength binds typing only; the program may set
// longer texts.
class EditField {
public:
    explicit EditField(int maxLength)
        : MaxLength(maxLength)
    {
    }
    const std::string& Text() const { return m_text; }
    void SetText(std::string text);

    bool Enabled = false;
    const int MaxLength;
    std::function<void()> OnChange;

private:
    std::string m_text;
};

// The six panels of the settings line, named for what they show.
enum SettingsPanelIndex : size_t { TimeDivPanel, VoltsDivPanel, DcPanel, PeakToPeakPanel, RmsPanel, DbPanel };
// The four panels of the status line: the hint of what the pointer is over,
// then the cursor readout.
enum StatusBarIndex : size_t { HintPanel, VoltDifferencePanel, TimeDifferencePanel, FrequencyPanel };

// The main window's observable state. A few facts decide the commands'
// states: whether a waveform is shown, the drawing mode, the probe choice,
// whether the clipboard holds a waveform. Each setter below changes its fact
// and derives the commands' enabled and checked states from all of them
// (DeriveCommands); the port menu's items keep their own state (the link
// sets them as it finds and opens ports).
struct FormState {
    FormState();

    std::string Caption;
    std::array<CommandState, CommandCount> Commands {};
    EditField Description { 40 };
    EditField DateField { 10 };
    EditField TimeField { 8 };
    std::array<std::string, 6> SettingsPanel {};
    std::array<std::string, 4> StatusBar {};
    TraceMode ViewMode = TraceMode::Smooth;

    CommandState& operator[](Cmd command) { return Commands[static_cast<size_t>(command)]; }
    const CommandState& operator[](Cmd command) const { return Commands[static_cast<size_t>(command)]; }

    // Whether a waveform is shown: Save, Save As, Print, Cut, Copy and the
    // view commands apply to it.
    bool WaveformShown() const { return m_waveformShown; }
    // The probe in effect is the probe menu's choice, not the record's factor.
    int32_t ProbeMenuFactor() const { return m_probe; }
    // Whether the clipboard held a waveform when last looked at.
    bool PasteAvailable() const { return m_pasteAvailable; }

    void SetWaveformShown(bool shown);
    // Enables or disables the three edit fields.
    void SetFieldGroup(bool enabled);
    // Selects the drawing mode: its item checked, its button pressed.
    void ShowViewMode(TraceMode mode);
    // Selects the x1 probe for 1, the x10 probe for anything else.
    void ShowProbe(int32_t factor);
    void SetPasteAvailable(bool available);

    // The enabled and checked states of every command but the port menu's,
    // from the facts above. Also puts back a button the user released by
    // hand while its command left the state as it was.
    void DeriveCommands();

private:
    bool m_waveformShown = false;
    int32_t m_probe = 1;
    bool m_pasteAvailable = false;
};

// The stored value of the drawing mode: "Dot", "Bar" or "Smooth".
std::string_view ViewModeName(TraceMode mode);
// Reading: dot or bar in any letter case; anything else is Smooth.
TraceMode ParseViewMode(std::string_view stored);

} // namespace zop
