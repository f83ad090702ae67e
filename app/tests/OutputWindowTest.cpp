// The output commands through the real window under the offscreen platform,
// whose clipboard is shared by every window of this process: Paste follows
// the clipboard when the window is activated or deactivated and when the
// Edit menu opens, and Copy and Paste move a waveform between two windows.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>
#include <gtest/gtest.h>

#include "app/DocumentWiring.h"
#include "app/OutputWiring.h"
#include "app/TZop5Form.h"
#include "app/TraceWiring.h"
#include "platform/Configuration.h"
#include "tests/support/ScriptedUserInterface.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

// One window with its trace, document and output wiring, as main() builds it.
struct Window {
    test::ScriptedUserInterface Ui;
    TZop5Form Form { Ui };
    TraceWiring Trace { Form };
    DocumentWiring Documents { Form, Trace.Hooks() };
    OutputWiring Output { Form, Documents.Commands() };

    bool PasteEnabled() const
    {
        const bool item = Form.Action(Cmd::PasteItem)->isEnabled();
        EXPECT_EQ(item, Form.Button(Cmd::PasteBtn)->isEnabled()) << "item and button differ";
        return item;
    }
    void Activation()
    {
        QEvent change(QEvent::ActivationChange);
        QApplication::sendEvent(&Form, &change);
    }
    void ShowWaveform()
    {
        IncomingImage& in = Form.Incoming();
        in = {};
        for (size_t i = 0; i < SampleCount; ++i)
            in.Samples[i] = static_cast<int32_t>(40 + 2 * i);
        in.Samples[7] = 0;
        in.TimeIndex = 9;
        in.VoltIndex = 6;
        in.ZeroRef = 100;
        in.TimeLabel = std::string(TimeLabel(9));
        in.VoltsLabel = std::string(VoltsLabel(6, 1));
        in.Description = "Window to window";
        in.IncomingCursors = { 30, 255, 90, 10 }; // the first cross on the sample of 0
        Form.RunCommand([this] { Documents.Commands().ApplyIncoming("/tmp/shown.zop"); });
    }
};

class OutputWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(Configuration().FilePath());
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        QGuiApplication::clipboard()->clear();
        QFile::remove(Configuration().FilePath());
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
    emit window.Form.Menu(1)->aboutToShow();
    EXPECT_TRUE(window.PasteEnabled());

    // A window created while the clipboard holds a block starts with Paste.
    Window later;
    EXPECT_TRUE(later.PasteEnabled());
}

TEST_F(OutputWindowTest, CopyInOneWindowAndPasteInAnother)
{
    Window source;
    Window target;
    source.ShowWaveform();
    source.Form.Action(Cmd::CopyItem)->trigger();
    EXPECT_TRUE(source.Ui.Messages.empty());
    EXPECT_TRUE(source.PasteEnabled());
    const QMimeData* placed = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->data(WaveformFormatName).size(), 720);
    EXPECT_TRUE(placed->hasFormat("image/png"));
    EXPECT_TRUE(placed->hasFormat(MetafileMimeType));

    target.Activation();
    ASSERT_TRUE(target.PasteEnabled());
    target.Form.Button(Cmd::PasteBtn)->click();
    EXPECT_TRUE(target.Ui.Messages.empty());
    EXPECT_EQ(target.Form.windowTitle(), "Tracelet - [Untiteld]");
    EXPECT_EQ(target.Form.Record().Samples, source.Form.Record().Samples);
    EXPECT_EQ(target.Form.Cursors(), (CursorPositions { 30, 255, 90, 10 }));
    EXPECT_EQ(target.Form.DescriptionEdit()->text(), "Window to window");
    EXPECT_EQ(target.Form.SettingsPanelLabel(0)->text(), QString::fromLatin1(TimeLabel(9)));
    EXPECT_TRUE(target.Form.Flags().Modified);
    // The pasted cursors give the same readout as in the copied window.
    EXPECT_EQ(source.Form.State().StatusBar[1], "dV=...V"); // a cross on the sample of 0
    EXPECT_FALSE(source.Form.State().StatusBar[2].empty());
    for (size_t panel = 1; panel <= 3; ++panel)
        EXPECT_EQ(target.Form.State().StatusBar[panel], source.Form.State().StatusBar[panel]) << panel;

    // Cut: the copy goes to the clipboard, then the saved window empties.
    QGuiApplication::clipboard()->clear();
    source.Form.Action(Cmd::CutItem)->trigger();
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(WaveformFormatName));
    EXPECT_FALSE(source.Form.Action(Cmd::CopyItem)->isEnabled());
    EXPECT_EQ(source.Form.windowTitle(), "Tracelet - [Untiteld]");
}

} // namespace
} // namespace zop
