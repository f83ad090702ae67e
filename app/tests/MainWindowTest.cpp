#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Configuration.h"
#include "tests/support/WindowUnderTest.h"

namespace zop {
namespace {

class MainWindowTest : public test::WindowTest { };

QStringList ActionTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QString("-") : action->text());
    return texts;
}

TEST_F(MainWindowTest, StartsEmptyAndUntitled)
{
    TZop5Form form(ui, &clock);
    EXPECT_EQ(form.windowTitle(), "Tracelet - [Untitled]");
    EXPECT_EQ(form.objectName(), "Zop5Form");
    for (QLineEdit* edit : { form.DescriptionEdit(), form.DateEdit(), form.TimeEdit() }) {
        EXPECT_FALSE(edit->isEnabled()) << edit->objectName().toStdString();
        EXPECT_TRUE(edit->text().isEmpty());
    }
    EXPECT_EQ(form.DescriptionEdit()->maxLength(), 40);
    EXPECT_EQ(form.DateEdit()->maxLength(), 10);
    EXPECT_EQ(form.TimeEdit()->maxLength(), 8);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(form.SettingsPanelLabel(i)->text().isEmpty());
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(form.StatusBarLabel(i)->text().isEmpty());

    // The record before any waveform.
    EXPECT_EQ(form.Record().ZeroRef, 127);
    EXPECT_EQ(form.Record().TimeIndex, 1);
    EXPECT_EQ(form.Record().VoltIndex, 0);
    EXPECT_EQ(form.Record().ProbeFactor, 1);
    EXPECT_FALSE(form.Flags().Unsaved());
    EXPECT_EQ(form.Cursors(), CursorPositions {});
    EXPECT_TRUE(form.CursorsAtRest());
    EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(MainWindowTest, CommandsEnabledAtStart)
{
    TZop5Form form(ui, &clock);
    for (Cmd item : { Cmd::NewItem, Cmd::OpenItem, Cmd::ExitItem, Cmd::Probex1Item, Cmd::Probex10Item, Cmd::Com1Item,
             Cmd::Com2Item, Cmd::Com3Item, Cmd::Com4Item, Cmd::HelpTopicsItem, Cmd::AboutItem })
        EXPECT_TRUE(form.Action(item)->isEnabled()) << CommandName(item);
    for (Cmd item : { Cmd::SaveItem, Cmd::SaveasItem, Cmd::PrintItem, Cmd::CutItem, Cmd::CopyItem, Cmd::PasteItem,
             Cmd::DotItem, Cmd::BarItem, Cmd::SmoothItem })
        EXPECT_FALSE(form.Action(item)->isEnabled()) << CommandName(item);
    for (Cmd button : { Cmd::NewBtn, Cmd::OpenBtn, Cmd::Probex1Btn, Cmd::Probex10Btn })
        EXPECT_TRUE(form.Button(button)->isEnabled()) << CommandName(button);
    for (Cmd button : { Cmd::SaveBtn, Cmd::PrintBtn, Cmd::CutBtn, Cmd::CopyBtn, Cmd::PasteBtn, Cmd::DotBtn, Cmd::BarBtn,
             Cmd::SmoothBtn })
        EXPECT_FALSE(form.Button(button)->isEnabled()) << CommandName(button);
    EXPECT_TRUE(form.Action(Cmd::Probex1Item)->isChecked());
    EXPECT_TRUE(form.Button(Cmd::Probex1Btn)->isChecked());
    EXPECT_FALSE(form.Button(Cmd::Probex10Btn)->isChecked());
}

TEST_F(MainWindowTest, MenusCaptionsShortcutsAndSeparators)
{
    TZop5Form form(ui, &clock);
    QStringList titles;
    for (QAction* menu : form.menuBar()->actions())
        titles << menu->text();
    EXPECT_EQ(titles, (QStringList { "&File", "&Edit", "&View", "&Probe", "&Communiction Port", "&Help" }));
    EXPECT_EQ(ActionTexts(form.Menu(0)),
        (QStringList { "&New", "&Open...", "&Save", "Save &As...", "-", "&Print...", "-", "E&xit" }));
    EXPECT_EQ(ActionTexts(form.Menu(1)), (QStringList { "&Cut", "&Copy", "&Paste" }));
    EXPECT_EQ(ActionTexts(form.Menu(2)), (QStringList { "&Dot", "&Bar", "&Smooth" }));
    EXPECT_EQ(ActionTexts(form.Menu(3)), (QStringList { "x&1 Probe", "x1&0 Probe" }));
    EXPECT_EQ(ActionTexts(form.Menu(4)), (QStringList { "Com&1", "Com&2", "Com&3", "Com&4" }));
    EXPECT_EQ(ActionTexts(form.Menu(5)), (QStringList { "&Help Topics", "-", "&About" }));

    const std::pair<Cmd, const char*> shortcuts[] = {
        { Cmd::NewItem, "Ctrl+N" },
        { Cmd::OpenItem, "Ctrl+O" },
        { Cmd::SaveItem, "Ctrl+S" },
        { Cmd::SaveasItem, "" },
        { Cmd::PrintItem, "" },
        { Cmd::CutItem, "Ctrl+X" },
        { Cmd::CopyItem, "Ctrl+C" },
        { Cmd::PasteItem, "Ctrl+V" },
        { Cmd::DotItem, "Ctrl+D" },
        { Cmd::BarItem, "Ctrl+B" },
        { Cmd::SmoothItem, "Ctrl+I" },
        { Cmd::HelpTopicsItem, "F1" },
    };
    for (const auto& [item, keys] : shortcuts)
        EXPECT_EQ(form.Action(item)->shortcut().toString(), keys) << CommandName(item);
    EXPECT_EQ(form.Action(Cmd::SmoothItem)->statusTip(), "Lineair interpolation between samples");
    EXPECT_EQ(form.Menu(0)->menuAction()->statusTip(), "Clear, open, save, print, config or quit");
}

TEST_F(MainWindowTest, ToolBarButtonsHintsAndCaptions)
{
    TZop5Form form(ui, &clock);
    EXPECT_EQ(form.Button(Cmd::SaveBtn)->toolTip(), "Save");
    EXPECT_EQ(form.Button(Cmd::SaveBtn)->statusTip(), "Save the current waveform to a file");
    EXPECT_EQ(form.Button(Cmd::Probex10Btn)->text(), "x10");
    EXPECT_EQ(form.Button(Cmd::Probex10Btn)->toolTip(), "x10 Probe");
    EXPECT_EQ(form.Button(Cmd::Probex1Btn)->text(), "x1");
    EXPECT_EQ(form.DescriptionEdit()->toolTip(), "Desciption");
    EXPECT_EQ(form.DescriptionEdit()->statusTip(), "Description of current waveform");
    for (Cmd button : { Cmd::NewBtn, Cmd::OpenBtn, Cmd::SaveBtn, Cmd::PrintBtn, Cmd::CutBtn, Cmd::CopyBtn,
             Cmd::PasteBtn, Cmd::DotBtn, Cmd::BarBtn, Cmd::SmoothBtn }) {
        EXPECT_FALSE(form.Button(button)->icon().isNull()) << CommandName(button);
        EXPECT_EQ(form.Button(button)->size(), QSize(25, 25));
    }
}

TEST_F(MainWindowTest, LayoutSizes)
{
    TZop5Form form(ui, &clock);
    EXPECT_EQ(form.centralWidget()->size(), QSize(388, 354));
    EXPECT_EQ(form.Picture()->size(), QSize(384, 255));
    EXPECT_EQ(form.Picture()->pos(), QPoint(2, 2));
    EXPECT_EQ(form.SettingsPanelLabel(0)->width(), 65);
    EXPECT_EQ(form.SettingsPanelLabel(1)->x(), 65);
    EXPECT_EQ(form.StatusBarLabel(0)->width(), 195);
    EXPECT_EQ(form.StatusBarLabel(1)->x(), 195);
    EXPECT_EQ(form.SettingsPanelLabel(2)->alignment() & Qt::AlignRight, Qt::AlignRight);
}

TEST_F(MainWindowTest, PictureStartsAsTheBlankGraticule)
{
    TZop5Form form(ui, &clock);
    EXPECT_EQ(form.Image1(), form.Image2());
    EXPECT_EQ(form.Image1().size(), QSize(384, 255));
    EXPECT_EQ(form.Image1().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(form.Image1().pixel(32, 0), qRgb(128, 128, 128));
    EXPECT_EQ(form.Image1().pixel(100, 128), qRgb(128, 128, 128));
    EXPECT_EQ(form.Image1().pixel(194, 250), qRgb(128, 128, 128));
    EXPECT_EQ(form.Image1().pixel(195, 250), qRgb(255, 255, 255));
}

TEST_F(MainWindowTest, LongHintGoesToTheFirstStatusPanel)
{
    TZop5Form form(ui, &clock);
    QStatusTipEvent tip("Opens a waveform file");
    QApplication::sendEvent(&form, &tip);
    EXPECT_EQ(form.StatusBarLabel(0)->text(), "Opens a waveform file");
    EXPECT_EQ(form.State().StatusBar[0], "Opens a waveform file");
}

TEST_F(MainWindowTest, FailingCommandIsReportedOnceAndTheProgramGoesOn)
{
    TZop5Form form(ui, &clock);
    const auto failing = [] { throw std::runtime_error("Disk not ready"); };
    form.RunCommand(failing);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Disk not ready");
    EXPECT_EQ(ui.Messages[0].Kind, BoxKind::Error);
    form.RunCommand(failing);
    EXPECT_EQ(ui.Messages.size(), 2u);
}

TEST_F(MainWindowTest, TypingMarksTheDocumentModified)
{
    TZop5Form form(ui, &clock);
    form.State().SetFieldGroup(true);
    form.SyncFromState();
    form.DescriptionEdit()->setFocus();
    emit form.DescriptionEdit()->textEdited("Mains hum \xC2\xB5");
    EXPECT_TRUE(form.Flags().Modified);
    EXPECT_EQ(form.State().Description.Text(), "Mains hum \xB5"); // stored as Windows-1252 bytes
}

// Every keystroke in a field is a command, after which the window is
// brought up to date; the text being typed keeps its cursor and selection.
TEST_F(MainWindowTest, TypingInTheMiddleOfAFieldKeepsTheCursorThere)
{
    TZop5Form form(ui, &clock);
    form.State().SetFieldGroup(true);
    form.State().Description.SetText("abcdef");
    form.SyncFromState();
    QLineEdit* edit = form.DescriptionEdit();
    edit->setCursorPosition(2);
    QTest::keyClicks(edit, "XY");
    EXPECT_EQ(edit->text(), "abXYcdef");
    EXPECT_EQ(form.State().Description.Text(), "abXYcdef");
    EXPECT_EQ(edit->cursorPosition(), 4);
    edit->setSelection(1, 3);
    form.SyncFromState();
    EXPECT_EQ(edit->selectedText(), "bXY");
}

TEST_F(MainWindowTest, StoredModeIsShownAndWrittenBackAtClose)
{
    Configuration().WriteViewMode(TraceMode::Dot);
    {
        TZop5Form form(ui, &clock);
        EXPECT_TRUE(form.Action(Cmd::DotItem)->isChecked());
        EXPECT_TRUE(form.Button(Cmd::DotBtn)->isChecked());
        EXPECT_FALSE(form.Action(Cmd::SmoothItem)->isChecked());
        form.State().ShowViewMode(TraceMode::Bar);
        form.show();
        EXPECT_TRUE(form.close());
    }
    EXPECT_EQ(Configuration().ReadViewMode(), TraceMode::Bar);
}

TEST_F(MainWindowTest, RefusedCloseKeepsTheWindowAndWritesNothing)
{
    TZop5Form form(ui, &clock);
    // An unsaved waveform: the save question, cancelled, then answered No.
    form.State().SetWaveformShown(true);
    form.Flags().Modified = true;
    ui.Answers = { Answer::Cancel };
    form.show();
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(QFile::exists(Configuration().FilePath()));
    ui.Answers = { Answer::No };
    EXPECT_TRUE(form.close());
}

// A running copy asked to come forward, or a transfer completing while the
// program is minimised, shows the window normally again.
TEST_F(MainWindowTest, RestoreAndRaiseShowsAMinimisedOrHiddenWindow)
{
    TZop5Form form(ui, &clock);
    form.showMinimized();
    ASSERT_TRUE(form.isMinimized());
    form.RestoreAndRaise();
    EXPECT_FALSE(form.isMinimized());
    EXPECT_TRUE(form.isVisible());
    form.hide();
    form.RestoreAndRaise();
    EXPECT_TRUE(form.isVisible());
}

// Work put off while a command runs (a waveform that arrived inside its
// dialog) runs once, after the outermost command, itself counted as a
// command so that what arrives during its own question waits too.
TEST_F(MainWindowTest, DeferredWorkRunsAfterTheOutermostCommand)
{
    TZop5Form form(ui, &clock);
    std::vector<std::string> log;
    form.Runner().Deferred = [&] {
        log.push_back(form.CommandRunning() ? "deferred, busy" : "deferred, idle");
        return false;
    };
    EXPECT_FALSE(form.CommandRunning());
    form.RunCommand([&] {
        form.RunCommand([&] { log.push_back("inner"); });
        log.push_back(form.CommandRunning() ? "outer, busy" : "outer, idle");
    });
    EXPECT_EQ(log, (std::vector<std::string> { "inner", "outer, busy", "deferred, busy" }));
    EXPECT_FALSE(form.CommandRunning());
    // Deferred work that changed the document keeps the window open.
    form.Runner().Deferred = [] { return true; };
    form.show();
    EXPECT_FALSE(form.close());
    form.Runner().Deferred = nullptr;
    EXPECT_TRUE(form.close());
}

// The fields' length limits bind typing only: a longer text set by the
// program (from a file) is shown whole, and typing into it keeps it whole.
TEST_F(MainWindowTest, FieldsShowTextsLongerThanTheirTypingLimitWhole)
{
    TZop5Form form(ui, &clock);
    const std::string longText(60, 'd');
    form.State().SetFieldGroup(true);
    form.State().Description.SetText(longText);
    form.State().TimeField.SetText("12:34:56.789");
    form.SyncFromState();
    EXPECT_EQ(form.DescriptionEdit()->text().toStdString(), longText);
    EXPECT_EQ(form.TimeEdit()->text(), "12:34:56.789");

    emit form.DescriptionEdit()->textEdited(QString::fromStdString(longText + "!").left(59));
    EXPECT_EQ(form.State().Description.Text(), std::string(59, 'd'));
    EXPECT_EQ(form.DescriptionEdit()->text().toStdString(), std::string(59, 'd'));

    // Short texts keep the typing limit.
    form.State().Description.SetText("short");
    form.SyncFromState();
    EXPECT_EQ(form.DescriptionEdit()->maxLength(), 40);
}

} // namespace
} // namespace zop
