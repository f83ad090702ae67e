#include "app/AboutBox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <cmath>

namespace zop {

namespace {

constexpr int ClientWidth = 211;
constexpr int ClientHeight = 239;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

void SetBold19(QLabel* label)
{
    QFont font = label->font();
    font.setBold(true);
    font.setPixelSize(19);
    label->setFont(font);
}

} // namespace

QPixmap AboutPicture()
{
    QPixmap picture(177, 84);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // The instrument's case with its rubber edge.
    p.setPen(QPen(QColor(40, 40, 48), 2));
    p.setBrush(QColor(70, 74, 86));
    p.drawRoundedRect(QRectF(2, 2, 173, 80), 10, 10);
    p.setBrush(QColor(96, 100, 114));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(7, 7, 163, 70), 7, 7);

    // The screen with its graticule.
    const QRectF screen(14, 12, 108, 60);
    p.setBrush(QColor(18, 32, 24));
    p.setPen(QPen(QColor(30, 30, 30), 1));
    p.drawRect(screen);
    p.setPen(QPen(QColor(60, 110, 80), 1, Qt::DotLine));
    for (int i = 1; i < 10; ++i) {
        const qreal x = screen.left() + screen.width() * i / 10;
        p.drawLine(QPointF(x, screen.top()), QPointF(x, screen.bottom()));
    }
    for (int i = 1; i < 8; ++i) {
        const qreal y = screen.top() + screen.height() * i / 8;
        p.drawLine(QPointF(screen.left(), y), QPointF(screen.right(), y));
    }

    // A trace: a damped sine, drawn as the program draws a smooth trace.
    QPainterPath trace;
    for (int i = 0; i <= 96; ++i) {
        const qreal x = screen.left() + screen.width() * i / 96.0;
        const qreal y = screen.center().y() - 22 * std::exp(-i / 70.0) * std::sin(i * 2 * M_PI / 24.0);
        if (i == 0)
            trace.moveTo(x, y);
        else
            trace.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(120, 255, 140), 1.6));
    p.drawPath(trace);

    // The keys and the input socket.
    p.setPen(QPen(QColor(30, 30, 36), 1));
    const QColor keys[] = { QColor(200, 60, 50), QColor(220, 220, 220), QColor(220, 220, 220), QColor(60, 120, 200) };
    for (int row = 0; row < 4; ++row) {
        p.setBrush(keys[row]);
        p.drawRoundedRect(QRectF(130, 14 + row * 12, 14, 8), 2, 2);
        p.setBrush(QColor(220, 220, 220));
        p.drawRoundedRect(QRectF(150, 14 + row * 12, 14, 8), 2, 2);
    }
    p.setBrush(QColor(210, 170, 60));
    p.drawEllipse(QPointF(147, 67), 5, 5);
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QPointF(147, 67), 2, 2);
    return picture;
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName("AboutBox");
    setWindowTitle("About Tracelet");
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);

    auto* panel = new QLabel(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(8, 8, 195, 185);

    auto* picture = new QLabel(panel);
    picture->setObjectName("ProgramIcon");
    picture->setPixmap(AboutPicture());
    picture->setGeometry(9, 8, 177, 84);

    // The name twice, the lower one offset as a shadow.
    QLabel* shadow = AddLabel(panel, "ProductName2", "Tracelet", QRect(18, 102, 160, 26));
    SetBold19(shadow);
    QPalette shadowPalette = shadow->palette();
    shadowPalette.setColor(QPalette::WindowText, QColor(160, 160, 160));
    shadow->setPalette(shadowPalette);
    QLabel* name = AddLabel(panel, "ProductName", "Tracelet", QRect(16, 100, 160, 26));
    SetBold19(name);
    QPalette namePalette = name->palette();
    namePalette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    name->setPalette(namePalette);

    AddLabel(panel, "Version", "Version 1.02", QRect(16, 132, 160, 16));
    QLabel* maker = AddLabel(panel, "Copyright", "Norvane Kit", QRect(16, 158, 163, 16));
    maker->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKButton");
    ok->setGeometry(68, 204, 75, 25);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    // Centred on the screen, not on the main window.
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

} // namespace zop
