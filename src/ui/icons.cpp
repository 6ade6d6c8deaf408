#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace sendrix::ui {

namespace {

const QColor kOutline(0x2e, 0x34, 0x36);
const QColor kPaper(0xf7, 0xf3, 0xe8);
const QColor kBlue(0x34, 0x65, 0xa4);
const QColor kYellow(0xed, 0xc2, 0x4b);
const QColor kGreen(0x3a, 0x9a, 0x3a);
const QColor kGrey(0x88, 0x8a, 0x85);

// All images are drawn on a 16 x 16 grid and scaled to the pixmap size.
void drawEnvelope(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(kPaper);
    p.drawRect(r);
    QPainterPath flap;
    flap.moveTo(r.topLeft());
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.55);
    flap.lineTo(r.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void drawSend(QPainter& p) {
    drawEnvelope(p, QRectF(1.5, 4.5, 10, 8));
    // Arrow leaving the envelope to the right.
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    QPolygonF arrow;
    arrow << QPointF(8, 9) << QPointF(11.5, 9) << QPointF(11.5, 6.5) << QPointF(15.5, 10.5)
          << QPointF(11.5, 14.5) << QPointF(11.5, 12) << QPointF(8, 12);
    p.drawPolygon(arrow);
}

void drawOptions(QPainter& p) {
    // A cog wheel: eight teeth around a ring.
    p.setPen(Qt::NoPen);
    p.setBrush(kGrey);
    const QPointF c(8, 8);
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(i * 45.0);
        p.drawRect(QRectF(-1.5, -7.5, 3, 4));
        p.restore();
    }
    p.setPen(QPen(kOutline, 1.0));
    p.drawEllipse(c, 5, 5);
    p.setBrush(kPaper);
    p.drawEllipse(c, 2, 2);
}

void drawOpen(QPainter& p) {
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(kYellow.darker(115));
    QPolygonF back;
    back << QPointF(1.5, 3.5) << QPointF(6, 3.5) << QPointF(7.5, 5) << QPointF(13.5, 5) << QPointF(13.5, 13.5)
         << QPointF(1.5, 13.5);
    p.drawPolygon(back);
    p.setBrush(kYellow);
    QPolygonF front;
    front << QPointF(1.5, 13.5) << QPointF(4, 7.5) << QPointF(15.5, 7.5) << QPointF(13.5, 13.5);
    p.drawPolygon(front);
}

void drawSave(QPainter& p) {
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(kBlue);
    QPolygonF disk;
    disk << QPointF(1.5, 1.5) << QPointF(12.5, 1.5) << QPointF(14.5, 3.5) << QPointF(14.5, 14.5)
         << QPointF(1.5, 14.5);
    p.drawPolygon(disk);
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 9.5, 9, 5));
    p.setPen(QPen(kBlue, 1.0));
    p.drawLine(QPointF(9.5, 2.5), QPointF(9.5, 5.5));
}

void drawTestMail(QPainter& p) {
    drawEnvelope(p, QRectF(1.5, 3.5, 11, 8));
    // A check mark: the test message has been tried.
    p.setPen(QPen(kGreen, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(8, 11.5);
    tick.lineTo(10.5, 14);
    tick.lineTo(15, 8);
    p.drawPath(tick);
}

void drawProgram(QPainter& p) {
    // Several envelopes fanned out: one text to many recipients.
    p.save();
    p.translate(1, 0);
    p.rotate(-8);
    drawEnvelope(p, QRectF(1.5, 4.5, 9, 6.5));
    p.restore();
    drawEnvelope(p, QRectF(4.5, 6.5, 10, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(13, 4), 2.5, 2.5);
}

QPixmap drawImage(Image image, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    switch (image) {
        case Image::Send: drawSend(p); break;
        case Image::Options: drawOptions(p); break;
        case Image::Open: drawOpen(p); break;
        case Image::Save: drawSave(p); break;
        case Image::TestMail: drawTestMail(p); break;
        case Image::Program: drawProgram(p); break;
    }
    return pixmap;
}

}  // namespace

QIcon imageIcon(Image image) {
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(drawImage(image, size));
    return icon;
}

}  // namespace sendrix::ui
