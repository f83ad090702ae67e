// Texts that come from outside (a file's description, date and time, a file's
// name, message texts built from them) are shown as the characters they are:
// markup is neither rendered nor followed, so an image named in a
// description is never fetched.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/QtUserInterface.h"
#include "document/WaveformFile.h"
#include "platform/Configuration.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WindowUnderTest.h"

namespace zop {
namespace {

const std::string HostileDescription = "<b>bold</b><img src=\"file:///etc/hostname\">";
const std::string HostileDate = "<i>1-2</i>";
const std::string HostileTime = "&lt;&amp;";

std::string WriteHostileFile(const std::string& path)
{
    WaveformFileContents contents;
    contents.Description = HostileDescription;
    contents.Date = HostileDate;
    contents.Time = HostileTime;
    contents.TimeLabel = "1ms/div";
    contents.VoltsLabel = "1V/div";
    contents.Samples.fill(90);
    return test::WriteWaveformFile(path, contents);
}

// Every label of the window that shows a text of the document.
void ExpectPlainLabels(TZop5Form& form)
{
    for (int panel = 0; panel < 6; ++panel)
        EXPECT_EQ(form.SettingsPanelLabel(panel)->textFormat(), Qt::PlainText) << panel;
    for (int panel = 0; panel < 4; ++panel)
        EXPECT_EQ(form.StatusBarLabel(panel)->textFormat(), Qt::PlainText) << panel;
}

TEST(PlainTextTest, AFileWithMarkupIsShownAndSavedAsItsCharacters)
{
    QFile::remove(Configuration().FilePath());
    test::TempDir dir;
    test::WindowUnderTest window;
    test::ScriptedUserInterface& ui = window.Ui;
    TZop5Form& form = window.Form();
    const std::string path = WriteHostileFile(dir.File("<b>name<i>.zop"));
    ui.OpenResults = { FileDialogResult { path, 1 } };
    form.Action(Cmd::OpenItem)->trigger();
    ASSERT_TRUE(ui.Messages.empty()) << testing::PrintToString(ui.Texts());

    EXPECT_EQ(form.DescriptionEdit()->text().toStdString(), HostileDescription);
    EXPECT_EQ(form.DateEdit()->text().toStdString(), HostileDate);
    EXPECT_EQ(form.TimeEdit()->text().toStdString(), HostileTime);
    EXPECT_EQ(form.windowTitle().toStdString(), "Tracelet - <b>name<i>.zop");
    ExpectPlainLabels(form);

    // Nothing was turned into markup on the way back either.
    emit form.DescriptionEdit()->textEdited(QString::fromStdString(HostileDescription + "!"));
    form.Action(Cmd::SaveItem)->trigger();
    IncomingImage saved;
    ASSERT_TRUE(LoadWaveformFile(path, saved));
    EXPECT_EQ(saved.Description, HostileDescription + "!");
    EXPECT_EQ(saved.Date, HostileDate);
    EXPECT_EQ(saved.Time, HostileTime);
}

// The message boxes of the real user interface show their text as given,
// whatever file name or error text it carries.
TEST(PlainTextTest, MessageBoxesShowMarkupAsText)
{
    QtUserInterface ui;
    const std::string text = "Save changes to file /tmp/<b>x</b><img src=\"a.png\">.zop?";
    Qt::TextFormat format = Qt::RichText;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        format = box->textFormat();
        shown = box->text();
        box->done(QMessageBox::Cancel);
    });
    EXPECT_EQ(ui.Message(BoxKind::Confirmation, text, BoxButtons::YesNoCancel), Answer::Cancel);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown.toStdString(), text);
}

} // namespace
} // namespace zop
