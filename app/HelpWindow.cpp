#include "app/HelpWindow.h"

#include <QFile>
#include <stdexcept>

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

// Resources of a static library are registered by name from outside any
// namespace.
static void RegisterHelpResource()
{
    Q_INIT_RESOURCE(help);
}

namespace zop {

HelpWindow::HelpWindow(QWidget* parent, QString guide)
    : QWidget(parent, Qt::Window)
    , m_guide(std::move(guide))
{
    RegisterHelpResource();
    setObjectName("HelpWindow");
    setWindowTitle("Tracelet Help");
    resize(640, 560);

    auto* contents = new QPushButton("Contents", this);
    contents->setObjectName("ContentsButton");
    m_search = new QLineEdit(this);
    m_search->setObjectName("SearchField");
    m_search->setPlaceholderText("Search the guide");
    m_search->setClearButtonEnabled(true);
    auto* next = new QPushButton("Find next", this);
    next->setObjectName("FindNextButton");
    m_found = new QLabel(this);
    m_found->setObjectName("FoundLabel");
    m_found->setTextFormat(Qt::PlainText);
    m_found->setMinimumWidth(90);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName("GuideBrowser");
    m_browser->setOpenExternalLinks(false);

    auto* bar = new QHBoxLayout;
    bar->addWidget(contents);
    bar->addWidget(m_search, 1);
    bar->addWidget(next);
    bar->addWidget(m_found);
    auto* column = new QVBoxLayout(this);
    column->addLayout(bar);
    column->addWidget(m_browser, 1);

    connect(contents, &QPushButton::clicked, this, &HelpWindow::ShowContents);
    connect(m_search, &QLineEdit::returnPressed, this, [this] { Search(m_search->text()); });
    connect(next, &QPushButton::clicked, this, [this] { Search(m_search->text()); });
}

QUrl HelpWindow::GuideUrl() const
{
    return m_guide.startsWith(':') ? QUrl("qrc" + m_guide) : QUrl::fromLocalFile(m_guide);
}

void HelpWindow::ShowContents()
{
    QFile guide(m_guide);
    if (!guide.open(QIODevice::ReadOnly) || guide.read(1).isEmpty())
        throw std::runtime_error(("The user guide " + m_guide + " cannot be read"
            + (guide.error() != QFileDevice::NoError ? ": " + guide.errorString() : QString()) + ".")
                                     .toStdString());
    if (m_browser->source() != GuideUrl())
        m_browser->setSource(GuideUrl());
    m_browser->scrollToAnchor("contents");
    m_browser->moveCursor(QTextCursor::Start);
    show();
    raise();
    activateWindow();
    m_search->setFocus(); // ready for a word to look up
}

int HelpWindow::Search(const QString& text)
{
    QList<QTextEdit::ExtraSelection> marks;
    if (text.trimmed().isEmpty()) {
        m_browser->setExtraSelections(marks);
        m_found->clear();
        return 0;
    }
    QTextDocument* document = m_browser->document();
    QTextCursor place(document);
    while (true) {
        place = document->find(text, place);
        if (place.isNull())
            break;
        QTextEdit::ExtraSelection mark;
        mark.cursor = place;
        mark.format.setBackground(QColor(255, 230, 120));
        marks << mark;
    }
    m_browser->setExtraSelections(marks);
    if (marks.isEmpty()) {
        m_found->setText("Not found");
        return 0;
    }
    // The next place after the current selection, from the top after the last.
    if (!m_browser->find(text)) {
        m_browser->moveCursor(QTextCursor::Start);
        m_browser->find(text);
    }
    m_found->setText(QString("%1 found").arg(marks.size()));
    return static_cast<int>(marks.size());
}

} // namespace zop
