// The window program: finds a running copy and asks it to come forward, then
// opens its own window in every case.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/QtUserInterface.h"
#include "app/SingleInstance.h"
#include "app/TZop5Form.h"
#include "app/ToolIcons.h"

namespace {

// --help and --version only print and exit; they must work from a terminal
// without a display, where the window system's plug-in would abort.
bool OnlyPrints(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        for (const char* option : { "-h", "--help", "-?", "--help-all", "-v", "--version" })
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

// The positional arguments as the system's bytes. Decoding argv to text
// replaces what is not valid UTF-8, and such a name would no longer reach its
// file; each positional argument is the next argv entry that decodes to it.
// `argv` is what the application left after taking the window system's
// options, the same entries its arguments() were decoded from.
std::vector<std::string> PositionalBytes(const QStringList& positional, int argc, char** argv)
{
    std::vector<std::string> bytes;
    int next = 1;
    for (const QString& argument : positional) {
        while (next < argc && QFile::decodeName(argv[next]) != argument)
            ++next;
        bytes.push_back(next < argc ? std::string(argv[next++]) : QFile::encodeName(argument).toStdString());
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    // A save beyond the user's file size limit fails like one onto a full
    // disk (reported, the previous file kept), instead of killing the window.
    std::signal(SIGXFSZ, SIG_IGN);
    if (OnlyPrints(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal");
    // The application takes the window system's options out of argv.
    const QString xDisplayOption = zop::SingleInstance::XDisplayOption(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tracelet");
    QApplication::setApplicationVersion(ZOP5_VERSION);
    QApplication::setWindowIcon(zop::ProgramIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription("Companion program of the Tracelet ZOP5 hand-held oscilloscope: receives "
                                     "waveforms on a serial port, shows, measures, saves, prints and exports them.");
    const QCommandLineOption help = parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "A waveform file (.zop) to open at start-up.", "[file]");
    if (parser.parse(QCoreApplication::arguments()) && parser.isSet(help)) {
        // The window system's own options a user may need; --help-all lists them all.
        std::printf("%s\nWindow system options (from Qt):\n"
                    "  -platform NAME  window system plug-in: xcb (X11), wayland or offscreen\n"
                    "  -display NAME   X display to show the window on (default: $DISPLAY)\n",
            qPrintable(parser.helpText()));
        return 0;
    }
    parser.process(app);

    zop::SingleInstance instance(zop::SingleInstance::DefaultName(xDisplayOption));
    instance.RequestRestore();
    instance.Listen();

    zop::QtUserInterface ui;
    zop::TZop5Form form(ui);
    ui.SetWindow(&form);
    form.Start(PositionalBytes(parser.positionalArguments(), argc, argv));
    QObject::connect(&instance, &zop::SingleInstance::RestoreRequested, &form, &zop::TZop5Form::RestoreAndRaise);
    form.show();
    return app.exec();
}
