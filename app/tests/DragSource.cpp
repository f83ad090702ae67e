// A test helper that drags files as the desktop's file manager would: a small
// window at the position given on the command line starts a drag of the
// files named after it as soon as a mouse button goes down on it.
//   zop5_drag_source X Y FILE...
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QList<QUrl> urls)
        : m_urls(std::move(urls))
    {
    }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls(m_urls);
        drag->setMimeData(mime);
        drag->exec(Qt::CopyAction);
    }

private:
    QList<QUrl> m_urls;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 4)
        return 2;
    // URLs from the names' bytes, as a file manager writes them: a name that
    // is not valid UTF-8 stays percent-encoded byte for byte.
    QList<QUrl> urls;
    for (int i = 3; i < argc; ++i)
        urls << QUrl::fromEncoded("file://" + QByteArray(argv[i]).toPercentEncoding("/"));
    DragSource source(urls);
    source.setWindowTitle("drag source");
    source.setGeometry(args.at(1).toInt(), args.at(2).toInt(), 100, 100);
    source.show();
    return app.exec();
}
