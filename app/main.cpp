// The window program: finds a running copy and asks it to come forward, then
// opens its own window in every case.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "app/QtUserInterface.h"
#include "app/SingleInstance.h"
#include "app/TZop5Form.h"
#include "app/ToolIcons.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tracelet");
    QApplication::setApplicationVersion(ZOP5_VERSION);
    QApplication::setWindowIcon(zop::ProgramIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription("Companion program of the Tracelet ZOP5 hand-held oscilloscope: receives "
                                     "waveforms on a serial port, shows, measures, saves, prints and exports them.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "A waveform file (.zop) to open at start-up.", "[file]");
    parser.process(app);

    zop::SingleInstance instance;
    instance.RequestRestore();
    instance.Listen();

    zop::QtUserInterface ui;
    zop::TZop5Form form(ui, parser.positionalArguments());
    ui.SetWindow(&form);
    QObject::connect(&instance, &zop::SingleInstance::RestoreRequested, &form, &zop::TZop5Form::RestoreAndRaise);
    form.show();
    return app.exec();
}
