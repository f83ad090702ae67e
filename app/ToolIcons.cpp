#include "app/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zop {

namespace {

const QColor kInk(40, 40, 40);
const QColor kPaper(255, 255, 255);
const QColor kTrace(0, 0, 255);

void Page(QPainter& p, int x, int y, int w, int h)
{
    p.setPen(kInk);
    p.setBrush(kPaper);
    QPolygon outline;
    outline << QPoint(x, y) << QPoint(x + w - 4, y) << QPoint(x + w, y + 4) << QPoint(x + w, y + h) << QPoint(x, y + h);
    p.drawPolygon(outline);
    p.drawLine(x + w - 4, y, x + w - 4, y + 4);
    p.drawLine(x + w - 4, y + 4, x + w, y + 4);
}

void DrawNew(QPainter& p)
{
    Page(p, 3, 1, 10, 14);
}

void DrawOpen(QPainter& p)
{
    p.setPen(kInk);
    p.setBrush(QColor(230, 190, 80));
    p.drawRect(1, 4, 12, 10);
    p.drawRect(1, 3, 5, 1);
    p.setBrush(QColor(250, 215, 110));
    QPolygon front;
    front << QPoint(3, 7) << QPoint(15, 7) << QPoint(13, 14) << QPoint(1, 14);
    p.drawPolygon(front);
}

void DrawSave(QPainter& p)
{
    p.setPen(kInk);
    p.setBrush(QColor(60, 90, 160));
    p.drawRect(1, 1, 14, 14);
    p.setBrush(kPaper);
    p.drawRect(4, 1, 8, 5);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(4, 9, 8, 6);
    p.fillRect(9, 2, 2, 3, kInk);
}

void DrawPrint(QPainter& p)
{
    p.setPen(kInk);
    p.setBrush(kPaper);
    p.drawRect(4, 1, 8, 5);
    p.setBrush(QColor(190, 190, 190));
    p.drawRect(1, 6, 14, 6);
    p.setBrush(kPaper);
    p.drawRect(4, 10, 8, 5);
    p.fillRect(12, 8, 2, 1, QColor(0, 160, 0));
}

void DrawCut(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.drawLine(5, 1, 10, 10);
    p.drawLine(10, 1, 5, 10);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(160, 0, 0), 1.5));
    p.drawEllipse(QPointF(4.5, 12.5), 2.5, 2.5);
    p.drawEllipse(QPointF(11.5, 12.5), 2.5, 2.5);
}

void DrawCopy(QPainter& p)
{
    Page(p, 1, 1, 8, 10);
    Page(p, 6, 5, 8, 10);
}

void DrawPaste(QPainter& p)
{
    p.setPen(kInk);
    p.setBrush(QColor(170, 120, 60));
    p.drawRect(1, 2, 11, 13);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(4, 1, 5, 3);
    Page(p, 7, 6, 8, 9);
}

void DrawDot(QPainter& p)
{
    const int ys[] = { 10, 6, 3, 5, 9, 12, 11 };
    for (int i = 0; i < 7; ++i)
        p.fillRect(1 + 2 * i, ys[i], 2, 2, kTrace);
}

void DrawBar(QPainter& p)
{
    const int ys[] = { 11, 7, 4, 6, 10, 12, 11 };
    int prev = ys[0];
    for (int i = 0; i < 7; ++i) {
        const int top = std::min(prev, ys[i]);
        const int bottom = std::max(prev, ys[i]) + 2;
        p.fillRect(1 + 2 * i, top, 2, bottom - top, kTrace);
        prev = ys[i];
    }
}

void DrawSmooth(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kTrace, 1.6));
    QPainterPath path(QPointF(1, 8));
    path.cubicTo(QPointF(4, 0), QPointF(6, 0), QPointF(8, 8));
    path.cubicTo(QPointF(10, 16), QPointF(12, 16), QPointF(15, 8));
    p.drawPath(path);
}

} // namespace

QIcon ToolIcon(Cmd button)
{
    void (*draw)(QPainter&) = nullptr;
    switch (button) {
    case Cmd::NewBtn:
        draw = DrawNew;
        break;
    case Cmd::OpenBtn:
        draw = DrawOpen;
        break;
    case Cmd::SaveBtn:
        draw = DrawSave;
        break;
    case Cmd::PrintBtn:
        draw = DrawPrint;
        break;
    case Cmd::CutBtn:
        draw = DrawCut;
        break;
    case Cmd::CopyBtn:
        draw = DrawCopy;
        break;
    case Cmd::PasteBtn:
        draw = DrawPaste;
        break;
    case Cmd::DotBtn:
        draw = DrawDot;
        break;
    case Cmd::BarBtn:
        draw = DrawBar;
        break;
    case Cmd::SmoothBtn:
        draw = DrawSmooth;
        break;
    default:
        return {};
    }
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : { 16, 32, 48, 64 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 16.0;
        p.scale(s, s);
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(235, 235, 225));
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 2, 2);
        p.setPen(QPen(QColor(160, 160, 160), 0.4));
        for (int k = 1; k < 4; ++k) {
            p.drawLine(QPointF(4 * k, 1), QPointF(4 * k, 15));
            p.drawLine(QPointF(1, 4 * k), QPointF(15, 4 * k));
        }
        p.setPen(QPen(kTrace, 1.4));
        QPainterPath path(QPointF(1.5, 8));
        path.cubicTo(QPointF(4, 1), QPointF(6, 1), QPointF(8, 8));
        path.cubicTo(QPointF(10, 15), QPointF(12, 15), QPointF(14.5, 8));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace zop
