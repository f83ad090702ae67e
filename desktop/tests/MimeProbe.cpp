// Prints the MIME type the platform's database gives each file named on the
// command line: "<by name> <by content>" per line.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QMimeDatabase database;
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        const QString byName = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
        const QString byContent = database.mimeTypeForFile(path, QMimeDatabase::MatchContent).name();
        std::printf("%s %s\n", byName.toUtf8().constData(), byContent.toUtf8().constData());
    }
    return 0;
}
