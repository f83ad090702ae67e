// The document commands through the real window under the offscreen
// platform: menus and buttons, drops, the close question and the date field,
// with every question answered by a script.
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <fstream>
#include <gtest/gtest.h>

#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "document/WaveformFile.h"
#include "platform/Configuration.h"
#include "platform/QtDateTimeSource.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WindowUnderTest.h"

namespace zop {
namespace {

class MarkerPictures final : public PictureFiles {
public:
    void WriteBitmap(const std::string& path) override { std::ofstream(path) << "BM"; }
    void WriteMetafile(const std::string& path) override { std::ofstream(path) << "WMF"; }
};

class DocumentWindowTest : public test::WindowTest {
protected:
    // The day and time the test files were made.
    DocumentWindowTest() { clock = { "01-02-2026", "11:12:13" }; }

    std::string MakeFile(const std::string& name, const std::string& voltsLabel)
    {
        WaveformFileContents contents;
        contents.Description = "Ripple \xB5V";
        contents.Date = "01-02-2026";
        contents.Time = "11:12:13";
        contents.TimeLabel = "2\xB5S/DIV";
        contents.VoltsLabel = voltsLabel;
        contents.ZeroRef = 128;
        contents.Samples.fill(140);
        return test::WriteWaveformFile(dir.File(name), contents);
    }

    void Drop(TZop5Form& form, const QStringList& paths)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        mime.setUrls(urls);
        // The drag enters the window before it is dropped, as from the desktop.
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &enter);
        ASSERT_TRUE(enter.isAccepted()) << "the window takes dropped files";
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &drop);
    }

    test::TempDir dir;
    // Measured (the peak-to-peak panel) and drawn (the picture is more than
    // the graticule).
    static bool MeasuredAndDrawn(TZop5Form& form)
    {
        return !form.SettingsPanelLabel(PeakToPeakPanel)->text().isEmpty() && form.Image1() != form.Image2();
    }
};

TEST_F(DocumentWindowTest, OpenFromTheMenuShowsTheFileWithProbeX10Saved)
{
    TZop5Form form(ui, &clock);
    const std::string file = MakeFile("scope.zop", "0.5V/div");
    ui.OpenResults = { FileDialogResult { file, 1 } };
    form.Action(Cmd::OpenItem)->trigger();

    EXPECT_EQ(form.windowTitle(), "Tracelet - scope.zop");
    EXPECT_EQ(form.DescriptionEdit()->text(), QString::fromUtf8("Ripple \xC2\xB5V"));
    EXPECT_TRUE(form.DescriptionEdit()->isEnabled());
    EXPECT_EQ(form.DateEdit()->text(), "01-02-2026");
    EXPECT_EQ(form.SettingsPanelLabel(0)->text(), QString::fromUtf8("2\xC2\xB5S/DIV"));
    EXPECT_EQ(form.SettingsPanelLabel(1)->text(), "0.5V/div");
    EXPECT_TRUE(form.Action(Cmd::Probex10Item)->isChecked());
    EXPECT_TRUE(form.Button(Cmd::Probex10Btn)->isChecked());
    EXPECT_FALSE(form.Button(Cmd::Probex1Btn)->isChecked());
    for (Cmd c : { Cmd::SaveItem, Cmd::SaveasItem, Cmd::PrintItem, Cmd::CopyItem, Cmd::SaveBtn, Cmd::SmoothBtn })
        EXPECT_TRUE(form.Action(c) ? form.Action(c)->isEnabled() : form.Button(c)->isEnabled()) << CommandName(c);
    EXPECT_FALSE(form.Flags().Unsaved());
    EXPECT_TRUE(MeasuredAndDrawn(form));

    // Nothing to save: closing asks nothing.
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(DocumentWindowTest, ARefusedFileFromTheOpenButtonShowsIncorrectFileType)
{
    TZop5Form form(ui, &clock);
    ui.OpenResults = { FileDialogResult { dir.File("missing.zop"), 1 } };
    form.Button(Cmd::OpenBtn)->click();
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Incorrect file type");
    EXPECT_EQ(form.windowTitle(), "Tracelet - [Untitled]");
}

TEST_F(DocumentWindowTest, DroppingOneFileOpensItAndTwoDoNothing)
{
    TZop5Form form(ui, &clock);
    const QString a = QString::fromStdString(MakeFile("a.zop", "1V/div"));
    const QString b = QString::fromStdString(MakeFile("b.zop", "1V/div"));
    Drop(form, { a, b });
    EXPECT_EQ(form.windowTitle(), "Tracelet - [Untitled]");
    EXPECT_EQ(ui.Restores, 0);

    Drop(form, { a });
    EXPECT_EQ(form.windowTitle(), "Tracelet - a.zop");
    EXPECT_EQ(ui.Restores, 1);

    // Unsaved now: the drop asks, and Cancel keeps the shown waveform.
    emit form.DescriptionEdit()->textEdited("typed");
    ui.Answers = { Answer::Cancel };
    Drop(form, { b });
    EXPECT_EQ(form.windowTitle(), "Tracelet - a.zop");
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages.back().Text, "Save changes to file " + a.toStdString() + "?");
    EXPECT_EQ(form.DescriptionEdit()->text(), "typed");
    ui.Answers = { Answer::No };
    Drop(form, { b });
    EXPECT_EQ(form.windowTitle(), "Tracelet - b.zop");
}

TEST_F(DocumentWindowTest, BitmapTypeThenSaveButtonWritesTheWaveformFile)
{
    TZop5Form form(ui, &clock);
    MarkerPictures pictures;
    form.Model().SetPictureFiles(pictures);
    ui.OpenResults = { FileDialogResult { MakeFile("first.zop", "1V/div"), 1 } };
    form.Action(Cmd::OpenItem)->trigger();
    emit form.DescriptionEdit()->textEdited("to be saved");

    ui.SaveResults = { FileDialogResult { dir.File("TRACE.zop"), 2 } };
    form.Action(Cmd::SaveasItem)->trigger();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dir.File("TRACE.bmp"))));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.File("TRACE.zop"))));
    EXPECT_EQ(form.windowTitle(), "Tracelet - first.zop");
    EXPECT_FALSE(form.Flags().Unsaved());

    form.Button(Cmd::SaveBtn)->click();
    IncomingImage saved;
    ASSERT_TRUE(LoadWaveformFile(dir.File("TRACE.zop"), saved));
    EXPECT_EQ(saved.Description, "to be saved");
    EXPECT_TRUE(ui.Messages.empty());
}

// Save As's picture types go to the window's own writers: a bitmap and a
// placeable metafile with the type's extension, the document left as it was.
TEST_F(DocumentWindowTest, PictureTypesAreWrittenByTheWindowsOwnWriters)
{
    TZop5Form form(ui, &clock);
    ui.OpenResults = { FileDialogResult { MakeFile("first.zop", "1V/div"), 1 } };
    form.Action(Cmd::OpenItem)->trigger();
    struct Case {
        int FilterIndex;
        const char* File;
        std::string Magic;
    };
    for (const Case& c : { Case { 2, "pic.bmp", "BM" }, Case { 3, "pic.wmf", "\xD7\xCD\xC6\x9A" } }) {
        ui.SaveResults = { FileDialogResult { dir.File("pic"), c.FilterIndex } };
        form.Action(Cmd::SaveasItem)->trigger();
        EXPECT_TRUE(ui.Messages.empty()) << testing::PrintToString(ui.Texts());
        std::ifstream file(dir.File(c.File), std::ios::binary);
        std::string start(c.Magic.size(), '\0');
        file.read(start.data(), static_cast<std::streamsize>(start.size()));
        EXPECT_EQ(start, c.Magic) << c.File;
    }
    EXPECT_EQ(form.windowTitle(), "Tracelet - first.zop");
}

TEST_F(DocumentWindowTest, NewAndCloseAskAndCancelKeepsEverything)
{
    TZop5Form form(ui, &clock);
    ui.OpenResults = { FileDialogResult { MakeFile("shown.zop", "1V/div"), 1 } };
    form.Action(Cmd::OpenItem)->trigger();
    emit form.DescriptionEdit()->textEdited("edited");

    ui.Answers = { Answer::Cancel };
    form.Button(Cmd::NewBtn)->click();
    EXPECT_TRUE(form.Action(Cmd::SaveItem)->isEnabled());
    EXPECT_EQ(form.DescriptionEdit()->text(), "edited");

    form.show();
    ui.Answers = { Answer::Cancel };
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(QFile::exists(Configuration().FilePath())) << "a refused close writes no configuration";

    ui.Answers = { Answer::No };
    form.Action(Cmd::NewItem)->trigger();
    EXPECT_EQ(form.windowTitle(), "Tracelet - [Untiteld]");
    EXPECT_FALSE(form.Action(Cmd::SaveItem)->isEnabled());
    EXPECT_FALSE(form.DescriptionEdit()->isEnabled());
    EXPECT_TRUE(form.DescriptionEdit()->text().isEmpty());
    EXPECT_TRUE(form.SettingsPanelLabel(0)->text().isEmpty());
    EXPECT_EQ(form.Image1(), form.Image2()) << "the blank graticule again";

    // Exit asks the window to close, which runs the same question; nothing
    // is unsaved now.
    form.Action(Cmd::ExitItem)->trigger();
    EXPECT_EQ(ui.CloseRequests, 1);
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(QFile::exists(Configuration().FilePath()));
    EXPECT_EQ(ui.Messages.size(), 3u);
}

TEST_F(DocumentWindowTest, CancelledSaveAsLeavesTheQuestionMarkAloneAndYesInOpenSavesFirst)
{
    TZop5Form form(ui, &clock);
    ui.OpenResults = { FileDialogResult { MakeFile("shown.zop", "1V/div"), 1 } };
    form.Action(Cmd::OpenItem)->trigger();
    emit form.DescriptionEdit()->textEdited("edited");

    ui.SaveResults = { std::nullopt };
    form.Action(Cmd::SaveasItem)->trigger();
    EXPECT_EQ(form.windowTitle(), "Tracelet - shown.zop");
    form.show();
    ui.Answers = { Answer::Cancel };
    EXPECT_FALSE(form.close());
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Save changes to file ?");

    // Yes in Open: Save As (the document is untitled now) runs before the
    // open dialog, which is then cancelled.
    ui.Answers = { Answer::Yes };
    ui.SaveResults = { FileDialogResult { dir.File("kept"), 1 } };
    ui.OpenResults = { std::nullopt };
    form.Button(Cmd::OpenBtn)->click();
    IncomingImage saved;
    ASSERT_TRUE(LoadWaveformFile(dir.File("kept.zop"), saved));
    EXPECT_EQ(saved.Description, "edited");
    EXPECT_EQ(form.windowTitle(), "Tracelet - kept.zop");
    EXPECT_FALSE(form.Flags().Unsaved());
    EXPECT_TRUE(ui.Answers.empty() && ui.SaveResults.empty() && ui.OpenResults.empty());
}

TEST_F(DocumentWindowTest, DoubleClickingTheDateOnTheSameDayChangesNothing)
{
    TZop5Form form(ui, &clock);
    ui.OpenResults = { FileDialogResult { MakeFile("shown.zop", "1V/div"), 1 } };
    form.Action(Cmd::OpenItem)->trigger();

    const auto doubleClick = [](QLineEdit* edit) {
        QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(5, 5), edit->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit, &event);
    };
    doubleClick(form.DateEdit());
    EXPECT_FALSE(form.Flags().Modified);
    clock.Time = "11:12:14";
    doubleClick(form.TimeEdit());
    EXPECT_EQ(form.TimeEdit()->text(), "11:12:14");
    EXPECT_TRUE(form.Flags().Modified);

    form.show();
    ui.Answers = { Answer::Cancel };
    EXPECT_FALSE(form.close());
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Buttons, BoxButtons::YesNoCancel);
}

TEST_F(DocumentWindowTest, AFailedSaveIsReportedWithThePlatformsText)
{
    TZop5Form form(ui, &clock);
    ui.OpenResults = { FileDialogResult { MakeFile("shown.zop", "1V/div"), 1 } };
    form.Action(Cmd::OpenItem)->trigger();
    emit form.DescriptionEdit()->textEdited("edited");
    ui.SaveResults = { FileDialogResult { dir.File("vanished/new.zop"), 1 } };
    form.Action(Cmd::SaveasItem)->trigger();
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "No such file or directory");
    EXPECT_TRUE(form.Flags().Modified);
    EXPECT_EQ(form.windowTitle(), "Tracelet - shown.zop");
}

TEST_F(DocumentWindowTest, StartupFileIsOpenedAndARefusedOneIgnored)
{
    {
        TZop5Form form(ui, &clock);
        form.Model().Start({ MakeFile("start.ZOP", "20V/div") }, false);
        EXPECT_EQ(form.windowTitle(), "Tracelet - start.ZOP");
        EXPECT_TRUE(form.Action(Cmd::Probex1Item)->isChecked());
    }
    TZop5Form form(ui, &clock);
    form.Model().Start({ dir.File("absent.zop") }, false);
    form.Model().Start({}, false);
    EXPECT_EQ(form.windowTitle(), "Tracelet - [Untitled]");
    EXPECT_TRUE(ui.Messages.empty());
}

TEST(AboutBox, LayoutTextsAndTheOkButton)
{
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About Tracelet");
    EXPECT_EQ(box.size(), QSize(211, 239));
    auto* name = box.findChild<QLabel*>("ProductName");
    auto* shadow = box.findChild<QLabel*>("ProductName2");
    ASSERT_TRUE(name && shadow);
    for (QLabel* label : { name, shadow }) {
        EXPECT_EQ(label->text(), "Tracelet");
        EXPECT_TRUE(label->font().bold());
        EXPECT_EQ(label->font().pixelSize(), 19);
    }
    ASSERT_TRUE(box.findChild<QLabel*>("Version"));
    EXPECT_EQ(box.findChild<QLabel*>("Version")->text(), "Version 1.02");
    auto* maker = box.findChild<QLabel*>("Copyright");
    ASSERT_TRUE(maker);
    EXPECT_EQ(maker->text(), "Norvane Kit");
    EXPECT_TRUE(maker->alignment() & Qt::AlignRight);
    auto* picture = box.findChild<QLabel*>("ProgramIcon");
    ASSERT_TRUE(picture);
    const QImage drawn = picture->pixmap().toImage();
    ASSERT_FALSE(drawn.isNull());
    EXPECT_GT(drawn.size().width(), 100);
    EXPECT_NE(drawn.pixel(drawn.width() / 3, drawn.height() / 2), drawn.pixel(2, 2)) << "a picture, not a blank";
    auto* ok = box.findChild<QPushButton*>("OKButton");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());

    QTimer::singleShot(0, ok, &QPushButton::click);
    EXPECT_EQ(box.exec(), QDialog::Accepted);
}

TEST_F(DocumentWindowTest, AboutAndHelpTopicsFromTheMenu)
{
    TZop5Form form(ui, &clock);
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* about = form.findChild<TAboutBox*>();
        shown = about && about->isVisible();
        if (about)
            about->accept();
    });
    form.Action(Cmd::AboutItem)->trigger();
    EXPECT_TRUE(shown);

    form.Action(Cmd::HelpTopicsItem)->trigger();
    ASSERT_TRUE(form.findChild<HelpWindow*>());
    HelpWindow& help = *form.findChild<HelpWindow*>();
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.Browser()->textCursor().position(), 0) << "opened at the contents";
    const QString guide = help.Browser()->toPlainText();
    for (const char* topic : { "Receiving a waveform", "Measurements and cursors", "Waveform files",
             "Printing and export", "The clipboard", "Choosing a port", "dialout" })
        EXPECT_TRUE(guide.contains(topic)) << topic;
    EXPECT_GE(help.Search("dialout"), 3);
    EXPECT_TRUE(help.Browser()->textCursor().hasSelection());
    EXPECT_EQ(help.Browser()->textCursor().selectedText().toLower(), "dialout");
    EXPECT_EQ(help.Search("no such words in the guide"), 0);
    help.ShowContents();
    EXPECT_EQ(help.Browser()->textCursor().position(), 0);
}

TEST_F(DocumentWindowTest, AnUnreadableGuideGivesOneClearMessage)
{
    TZop5Form form(ui, &clock);
    test::TempDir dir;
    for (const std::string& guide : { dir.Path() /* a folder */, dir.File("missing.html") }) {
        HelpWindow help(&form, QString::fromStdString(guide));
        ui.Messages.clear();
        form.RunCommand([&] { help.ShowContents(); });
        ASSERT_EQ(ui.Messages.size(), 1u) << guide;
        EXPECT_EQ(ui.Messages[0].Kind, BoxKind::Error);
        EXPECT_NE(ui.Messages[0].Text.find("The user guide " + guide + " cannot be read"), std::string::npos)
            << ui.Messages[0].Text;
        EXPECT_FALSE(help.isVisible());
    }
}

TEST(QtDateTimeSource, TheLongTimeHasNoTimeZone)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_FALSE(QtDateTimeSource::LongTimeFormat(us).contains('t'));
    const QDateTime moment(QDate(2026, 12, 7), QTime(8, 30, 5));
    QtDateTimeSource german(QLocale(QLocale::German, QLocale::Germany), [moment] { return moment; });
    EXPECT_EQ(german.CurrentTime(), "08:30:05");
    EXPECT_EQ(german.CurrentDate(), "07.12.26");
}

} // namespace
} // namespace zop
