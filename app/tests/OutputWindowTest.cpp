// The output commands through the real window under the offscreen platform,
// whose clipboard is shared by every window of this process: Paste follows
// the clipboard when the window is activated or deactivated and when the
// Edit menu opens, and Copy and Paste move a waveform between two windows.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

#include "tests/support/WindowUnderTest.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

using Window = test::WindowUnderTest;

// A waveform as another window shows it, its first cross on a sample of 0.
IncomingImage CrossOnZero(const std::string& description = "Window to window")
{
    IncomingImage in;
    for (size_t i = 0; i < SampleCount; ++i)
        in.Samples[i] = static_cast<int32_t>(40 + 2 * i);
    in.Samples[7] = 0;
    in.TimeIndex = 9;
    in.VoltIndex = 6;
    in.ZeroRef = 100;
    in.TimeLabel = std::string(TimeLabel(9));
    in.VoltsLabel = std::string(VoltsLabel(6, 1));
    in.Description = description;
    in.Date = "07-12-2026";
    in.Time = "19:41:00";
    in.IncomingCursors = { 30, 255, 90, 10 };
    return in;
}

const std::string ShownFile = "/tmp/shown.zop";

class OutputWindowTest : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        QGuiApplication::clipboard()->clear();
        WindowTest::TearDown();
    }
};

TEST_F(OutputWindowTest, PasteFollowsTheClipboardOnActivationAndWhenTheEditMenuOpens)
{
    Window window;
    EXPECT_FALSE(window.PasteEnabled()) << "nothing on the clipboard at creation";

    auto* block = new QMimeData;
    block->setData(WaveformFormatName, QByteArray(720, '\0'));
    QGuiApplication::clipboard()->setMimeData(block);
    EXPECT_FALSE(window.PasteEnabled()) << "no refresh without a reason";
    window.Activation();
    EXPECT_TRUE(window.PasteEnabled());

    QGuiApplication::clipboard()->setText("another program's text");
    window.Activation(); // deactivated
    EXPECT_FALSE(window.PasteEnabled());

    block = new QMimeData;
    block->setData(WaveformFormatName, QByteArray(720, '\0'));
    QGuiApplication::clipboard()->setMimeData(block);
    emit window.Form().Menu(1)->aboutToShow();
    EXPECT_TRUE(window.PasteEnabled());

    // A window created while the clipboard holds a block starts with Paste.
    Window later;
    EXPECT_TRUE(later.PasteEnabled());
}

TEST_F(OutputWindowTest, CopyInOneWindowAndPasteInAnother)
{
    Window source;
    Window target;
    source.ShowSaved(ShownFile, CrossOnZero());
    source.Form().Action(Cmd::CopyItem)->trigger();
    EXPECT_TRUE(source.Ui.Messages.empty());
    EXPECT_TRUE(source.PasteEnabled());
    const QMimeData* placed = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->data(WaveformFormatName).size(), 720);
    EXPECT_TRUE(placed->hasFormat("image/png"));
    EXPECT_TRUE(placed->hasFormat(MetafileMimeType));

    target.Activation();
    ASSERT_TRUE(target.PasteEnabled());
    target.Form().Button(Cmd::PasteBtn)->click();
    EXPECT_TRUE(target.Ui.Messages.empty());
    EXPECT_EQ(target.Form().windowTitle(), "Tracelet - [Untiteld]");
    EXPECT_EQ(target.Form().Record().Samples, source.Form().Record().Samples);
    EXPECT_EQ(target.Form().Cursors(), (CursorPositions { 30, 255, 90, 10 }));
    EXPECT_EQ(target.Form().DescriptionEdit()->text(), "Window to window");
    EXPECT_EQ(target.Form().SettingsPanelLabel(0)->text(), QString::fromLatin1(TimeLabel(9)));
    EXPECT_TRUE(target.Form().Flags().Modified);
    // The pasted cursors give the same readout as in the copied window.
    EXPECT_EQ(source.Form().State().StatusBar[1], "dV=...V"); // a cross on the sample of 0
    EXPECT_FALSE(source.Form().State().StatusBar[2].empty());
    for (size_t panel = 1; panel <= 3; ++panel)
        EXPECT_EQ(target.Form().State().StatusBar[panel], source.Form().State().StatusBar[panel]) << panel;

    // Cut: the copy goes to the clipboard, then the saved window empties.
    QGuiApplication::clipboard()->clear();
    source.Form().Action(Cmd::CutItem)->trigger();
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(WaveformFormatName));
    EXPECT_FALSE(source.Form().Action(Cmd::CopyItem)->isEnabled());
    EXPECT_EQ(source.Form().windowTitle(), "Tracelet - [Untiteld]");
}

// With a waveform shown the focus sits in one of the fields, which claim the
// standard edit keys. A key that is the shortcut of an enabled menu command
// goes to the command; with the command disabled the field keeps it, and the
// field's own keys and its context menu always work on its text.
TEST_F(OutputWindowTest, MenuShortcutsWinOverTheFocusedFieldWhileTheirCommandIsEnabled)
{
    // A waveform block of another window, offered together with a text.
    QMimeData blockAndText;
    {
        Window source;
        source.ShowSaved(ShownFile, CrossOnZero("From the clipboard"));
        source.Form().Action(Cmd::CopyItem)->trigger();
        const QMimeData* placed = QGuiApplication::clipboard()->mimeData();
        ASSERT_TRUE(placed && placed->hasFormat(WaveformFormatName));
        for (const QString& format : placed->formats())
            blockAndText.setData(format, placed->data(format));
    }
    const QString clipText = "12";
    blockAndText.setText(clipText);

    // The command before the key: enabled, disabled, or shown enabled
    // although the clipboard no longer holds a block (the field put its text
    // there since, and nothing brought Paste up to date).
    enum class Before { On, Off, StaleOn };
    enum class Clip { Unchanged, Waveform, FieldText };
    enum class Field { Unchanged, Emptied, ClipText, Pasted };
    enum class Shown { Same, Cleared, Pasted };
    struct Case {
        const char* Keys;
        std::optional<Cmd> Command; // the menu command whose shortcut the keys are
        Before State;
        Clip Clipboard;
        Field Text;
        Shown Document;
    };
    // Copy and Cut are enabled exactly while a waveform is shown, which is
    // when the fields can have the focus; only Paste can be disabled then.
    const Case cases[] = {
        { "Ctrl+C", Cmd::CopyItem, Before::On, Clip::Waveform, Field::Unchanged, Shown::Same },
        { "Ctrl+X", Cmd::CutItem, Before::On, Clip::Waveform, Field::Emptied, Shown::Cleared },
        { "Ctrl+V", Cmd::PasteItem, Before::On, Clip::Unchanged, Field::Pasted, Shown::Pasted },
        { "Ctrl+V", Cmd::PasteItem, Before::Off, Clip::Unchanged, Field::ClipText, Shown::Same },
        { "Ctrl+V", Cmd::PasteItem, Before::StaleOn, Clip::Unchanged, Field::ClipText, Shown::Same },
        // The field's own keys, with every edit command enabled.
        { "Ctrl+Ins", std::nullopt, Before::On, Clip::FieldText, Field::Unchanged, Shown::Same },
        { "Shift+Del", std::nullopt, Before::On, Clip::FieldText, Field::Emptied, Shown::Same },
        { "Shift+Ins", std::nullopt, Before::On, Clip::Unchanged, Field::ClipText, Shown::Same },
        // No edit keys: these reach their command from a field too (which
        // here only records the call).
        { "Ctrl+N", Cmd::NewItem, Before::On, Clip::Unchanged, Field::Unchanged, Shown::Same },
        { "Ctrl+O", Cmd::OpenItem, Before::On, Clip::Unchanged, Field::Unchanged, Shown::Same },
        { "Ctrl+S", Cmd::SaveItem, Before::On, Clip::Unchanged, Field::Unchanged, Shown::Same },
        { "Ctrl+D", Cmd::DotItem, Before::On, Clip::Unchanged, Field::Unchanged, Shown::Same },
        { "Ctrl+B", Cmd::BarItem, Before::On, Clip::Unchanged, Field::Unchanged, Shown::Same },
        { "Ctrl+I", Cmd::SmoothItem, Before::On, Clip::Unchanged, Field::Unchanged, Shown::Same },
        { "F1", Cmd::HelpTopicsItem, Before::On, Clip::Unchanged, Field::Unchanged, Shown::Same },
    };

    auto fieldOf = [](TZop5Form& form, int field) {
        return field == 0 ? form.DescriptionEdit() : field == 1 ? form.DateEdit() : form.TimeEdit();
    };
    // The window shows a waveform and is active; the clipboard holds a text
    // and, with Paste to be enabled, a waveform block.
    auto show = [&](Window& w, bool withBlock) {
        QMimeData* offered = new QMimeData;
        for (const QString& format : blockAndText.formats())
            if (withBlock || format == "text/plain")
                offered->setData(format, blockAndText.data(format));
        QGuiApplication::clipboard()->setMimeData(offered);
        w.ShowSaved(ShownFile, CrossOnZero());
        w.Form().show();
        w.Form().activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w.Form()));
        w.Activation(); // Paste follows the clipboard
        EXPECT_EQ(w.PasteEnabled(), withBlock);
    };
    // `field` has the focus, its text selected.
    auto focus = [&](Window& w, int field) {
        QLineEdit* edit = fieldOf(w.Form(), field);
        edit->setFocus();
        edit->selectAll();
        EXPECT_TRUE(edit->hasFocus());
        EXPECT_FALSE(edit->text().isEmpty());
        return edit;
    };

    for (int field = 0; field < 3; ++field) {
        for (const Case& c : cases) {
            Window w;
            show(w, c.Command != Cmd::PasteItem || c.State != Before::Off);
            EXPECT_EQ(!c.Command || w.Form().State()[*c.Command].Enabled, c.State != Before::Off);
            if (c.State == Before::StaleOn)
                QGuiApplication::clipboard()->setText(clipText); // the window stays active
            QLineEdit* edit = focus(w, field);
            const char* state[] = { "", ", command disabled", ", command stale" };
            const std::string where
                = edit->objectName().toStdString() + ", " + c.Keys + state[static_cast<int>(c.State)];
            const QString before = edit->text();
            // Every command records its call; only the edit commands run.
            std::vector<Cmd> ran;
            for (const Case& row : cases) {
                if (!row.Command || row.State != Before::On)
                    continue;
                const Cmd command = *row.Command;
                QAction* action = w.Form().Action(command);
                if (command != Cmd::CutItem && command != Cmd::CopyItem && command != Cmd::PasteItem)
                    QObject::disconnect(action, &QAction::triggered, &w.Form(), nullptr);
                QObject::connect(action, &QAction::triggered, [&ran, command] { ran.push_back(command); });
            }

            const QKeyCombination keys = QKeySequence(QString::fromLatin1(c.Keys))[0];
            QTest::keyClick(edit, keys.key(), keys.keyboardModifiers());

            const bool runs = c.Command && c.State == Before::On;
            EXPECT_EQ(ran, runs ? std::vector<Cmd> { *c.Command } : std::vector<Cmd> {}) << where;
            EXPECT_TRUE(w.Ui.Messages.empty()) << where;
            const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
            ASSERT_NE(clip, nullptr) << where;
            switch (c.Clipboard) {
            case Clip::Unchanged:
                EXPECT_EQ(clip->text(), clipText) << where;
                break;
            case Clip::Waveform:
                EXPECT_TRUE(clip->hasFormat(WaveformFormatName)) << where;
                EXPECT_FALSE(clip->hasText()) << where;
                break;
            case Clip::FieldText:
                EXPECT_EQ(clip->text(), before) << where;
                EXPECT_FALSE(clip->hasFormat(WaveformFormatName)) << where;
                break;
            }
            switch (c.Text) {
            case Field::Unchanged:
                EXPECT_EQ(edit->text(), before) << where;
                break;
            case Field::Emptied:
                EXPECT_EQ(edit->text(), "") << where;
                break;
            case Field::ClipText:
                EXPECT_EQ(edit->text(), clipText) << where;
                break;
            case Field::Pasted:
                EXPECT_EQ(w.Form().DescriptionEdit()->text(), "From the clipboard") << where;
                break;
            }
            const char* title = c.Document == Shown::Same ? "Tracelet - shown.zop" : "Tracelet - [Untiteld]";
            EXPECT_EQ(w.Form().windowTitle(), title) << where;
            EXPECT_EQ(edit->isEnabled(), c.Document != Shown::Cleared) << where;
        }

        // The field's context menu is still offered and copies its text.
        Window w;
        show(w, true);
        QLineEdit* edit = focus(w, field);
        const std::string where = edit->objectName().toStdString() + ", context menu";
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(edit, &menuEvent);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << where;
        QAction* copy = nullptr;
        for (QAction* action : menu->actions())
            if (action->text().startsWith("&Copy"))
                copy = action;
        ASSERT_NE(copy, nullptr) << where;
        copy->trigger();
        menu->close();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), edit->text()) << where;
    }
}

} // namespace
} // namespace zop
