#include "document/FormState.h"

#include "waveform/Cp1252.h"

namespace zop {

namespace {

constexpr std::array<std::string_view, CommandCount> kNames = {
    "NewItem",
    "OpenItem",
    "SaveItem",
    "SaveasItem",
    "PrintItem",
    "ExitItem",
    "CutItem",
    "CopyItem",
    "PasteItem",
    "DotItem",
    "BarItem",
    "SmoothItem",
    "Probex1Item",
    "Probex10Item",
    "Com1Item",
    "Com2Item",
    "Com3Item",
    "Com4Item",
    "HelpTopicsItem",
    "AboutItem",
    "NewBtn",
    "OpenBtn",
    "SaveBtn",
    "PrintBtn",
    "CutBtn",
    "CopyBtn",
    "PasteBtn",
    "DotBtn",
    "BarBtn",
    "SmoothBtn",
    "Probex1Btn",
    "Probex10Btn",
};

constexpr std::array<Cmd, 8> kWaveformGroup = {
    Cmd::SaveItem,
    Cmd::SaveasItem,
    Cmd::PrintItem,
    Cmd::CutItem,
    Cmd::CopyItem,
    Cmd::DotItem,
    Cmd::BarItem,
    Cmd::SmoothItem,
};

} // namespace

std::string_view CommandName(Cmd command)
{
    return kNames.at(static_cast<size_t>(command));
}

Cmd MenuItemOf(Cmd command)
{
    switch (command) {
    case Cmd::NewBtn:
        return Cmd::NewItem;
    case Cmd::OpenBtn:
        return Cmd::OpenItem;
    case Cmd::SaveBtn:
        return Cmd::SaveItem;
    case Cmd::PrintBtn:
        return Cmd::PrintItem;
    case Cmd::CutBtn:
        return Cmd::CutItem;
    case Cmd::CopyBtn:
        return Cmd::CopyItem;
    case Cmd::PasteBtn:
        return Cmd::PasteItem;
    case Cmd::DotBtn:
        return Cmd::DotItem;
    case Cmd::BarBtn:
        return Cmd::BarItem;
    case Cmd::SmoothBtn:
        return Cmd::SmoothItem;
    case Cmd::Probex1Btn:
        return Cmd::Probex1Item;
    case Cmd::Probex10Btn:
        return Cmd::Probex10Item;
    default:
        return command;
    }
}

void EditField::SetText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    if (OnChange)
        OnChange();
}

FormState::FormState()
{
    Caption = "Tracelet - [Untitled]";
    DeriveCommands();
}

void FormState::SetWaveformShown(bool shown)
{
    m_waveformShown = shown;
    DeriveCommands();
}

void FormState::SetFieldGroup(bool enabled)
{
    Description.Enabled = enabled;
    DateField.Enabled = enabled;
    TimeField.Enabled = enabled;
}

void FormState::ShowViewMode(TraceMode mode)
{
    ViewMode = mode;
    DeriveCommands();
}

void FormState::ShowProbe(int32_t factor)
{
    m_probe = factor == 1 ? 1 : 10;
    DeriveCommands();
}

void FormState::SetPasteAvailable(bool available)
{
    m_pasteAvailable = available;
    DeriveCommands();
}

void FormState::DeriveCommands()
{
    for (Cmd command : kWaveformGroup)
        (*this)[command].Enabled = m_waveformShown;
    (*this)[Cmd::PasteItem].Enabled = m_pasteAvailable;
    (*this)[Cmd::DotItem].Checked = ViewMode == TraceMode::Dot;
    (*this)[Cmd::BarItem].Checked = ViewMode == TraceMode::Bar;
    (*this)[Cmd::SmoothItem].Checked = ViewMode == TraceMode::Smooth;
    (*this)[Cmd::Probex1Item].Checked = m_probe == 1;
    (*this)[Cmd::Probex10Item].Checked = m_probe != 1;
    // Each tool button shows the state of the menu item it stands for.
    for (size_t i = 0; i < CommandCount; ++i) {
        const Cmd command = static_cast<Cmd>(i);
        if (MenuItemOf(command) != command)
            Commands[i] = (*this)[MenuItemOf(command)];
    }
}

std::string_view ViewModeName(TraceMode mode)
{
    switch (mode) {
    case TraceMode::Dot:
        return "Dot";
    case TraceMode::Bar:
        return "Bar";
    case TraceMode::Smooth:
        break;
    }
    return "Smooth";
}

TraceMode ParseViewMode(std::string_view stored)
{
    const std::string upper = UpperAscii(stored);
    if (upper == "DOT")
        return TraceMode::Dot;
    if (upper == "BAR")
        return TraceMode::Bar;
    return TraceMode::Smooth;
}

} // namespace zop
