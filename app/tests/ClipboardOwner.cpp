// A test helper standing in for another program on the desktop: it puts the
// bytes of a file on the clipboard under a format name and keeps offering
// them until it is stopped. Once the clipboard is its own it creates READY.
//   zop5_clipboard_owner FORMAT FILE READY
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 4)
        return 2;
    QFile source(args.at(2));
    if (!source.open(QIODevice::ReadOnly))
        return 1;
    auto* data = new QMimeData;
    data->setData(args.at(1), source.readAll());
    data->setText("not a waveform");
    QGuiApplication::clipboard()->setMimeData(data);
    QFile ready(args.at(3));
    if (!ready.open(QIODevice::WriteOnly))
        return 1;
    ready.close();
    return app.exec();
}
