// zop5-view: the resizable analysis window for captures.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <memory>

#include "display/FormatGeneral3.h"
#include "viewer/PlotWidget.h"
#include "viewer/ViewerWindow.h"

namespace {

// --help and --version answer without a display, as packaging tools ask them.
bool AsksOnlyForText(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--help" || argument == "-h" || argument == "--help-all" || argument == "--version"
            || argument == "-v")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> application;
    if (AsksOnlyForText(argc, argv))
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication& app = *application;
    QApplication::setApplicationName("zop5-view");
    QApplication::setApplicationDisplayName(QObject::tr("Tracelet Viewer"));
    QApplication::setOrganizationName("Tracelet ZOP5");
    QApplication::setApplicationVersion(ZOP5_VERSION);
    QApplication::setDesktopFileName("org.tracelet.Zop5View");

    QTranslator translator;
    if (translator.load(
            QLocale(), "zop5-view", "_", QApplication::applicationDirPath() + "/../share/zop5/translations"))
        QApplication::installTranslator(&translator);

    QCommandLineParser parser;
    parser.setApplicationDescription(QObject::tr("Tracelet Viewer: compares captures, measures them and follows a "
                                                 "folder of new ones."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("files", QObject::tr("Capture files (.zop) to open."), "[FILES...]");
    const QCommandLineOption follow("follow", QObject::tr("Show each new capture written into <folder>."), "folder");
    const QCommandLineOption keep(
        "keep", QObject::tr("Keep the last <n> captures of the followed folder overlaid (default 10)."), "n", "10");
    const QCommandLineOption theme(
        "theme", QObject::tr("Colours: desktop (as the desktop prefers), light or dark."), "theme", "desktop");
    const QCommandLineOption firstFrame("exit-after-first-frame",
        QObject::tr("Print \"first frame\" once the plot is first painted, and quit (for timing the start)."));
    parser.addOptions({ follow, keep, theme, firstFrame });
    parser.process(app);
    if (!qobject_cast<QApplication*>(&app))
        return 0; // process() has answered and left already

    bool keepOk = false;
    const int keepCount = parser.value(keep).toInt(&keepOk);
    const QString themeName = parser.value(theme).toLower();
    if (!keepOk || keepCount < 1 || !QStringList { "desktop", "light", "dark" }.contains(themeName)) {
        QTextStream(stderr) << QObject::tr("zop5-view: --keep takes a number from 1, --theme desktop, light or dark")
                            << '\n';
        return 2;
    }

    const char separator = QLocale().decimalPoint().front().toLatin1();
    zop::SetDecimalSeparator(separator ? separator : '.');
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    zop::viewer::ViewerWindow window;
    window.SetPersistence(keepCount);
    window.SetThemeChoice(themeName == "light" ? zop::viewer::ThemeChoice::Light
            : themeName == "dark"              ? zop::viewer::ThemeChoice::Dark
                                               : zop::viewer::ThemeChoice::Desktop);
    const QStringList refused = window.OpenFiles(parser.positionalArguments());
    for (const QString& path : refused)
        QTextStream(stderr) << QObject::tr("zop5-view: %1: not a capture the program can open").arg(path) << '\n';
    if (parser.isSet(follow) && !window.Follow(parser.value(follow)))
        QTextStream(stderr) << QObject::tr("zop5-view: %1: not a folder the program can read").arg(parser.value(follow))
                            << '\n';

    if (parser.isSet(firstFrame)) {
        QObject::connect(window.Plot(), &zop::viewer::PlotWidget::FirstFramePainted, &app, [] {
            std::fputs("first frame\n", stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, [] { QApplication::exit(0); });
        });
    }
    window.show();
    return app.exec();
}
