#include "ModelPictures.h"

#include "ScalerModels.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace ModelPictures {

namespace {

struct Look {
    QColor body;   // the scaler's case
    QColor accent; // its front panel stripe and name
};

const std::array<Look, Models::kModelCount> kLooks{{
    {QColor(0x3a, 0x4a, 0x5c), QColor(0x3f, 0x8f, 0xe8)}, // Orlan: blue
    {QColor(0x2e, 0x3b, 0x33), QColor(0x2f, 0xb3, 0x5f)}, // Orlan Plus: green
    {QColor(0x4c, 0x3c, 0x30), QColor(0xf0, 0x8a, 0x24)}, // Orlan C: orange
}};

// A monitor with the seven colour bars of a test picture.
void drawScreen(QPainter &p) {
    const QRectF bezel(6.5, 1.5, 52, 33);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
    p.setBrush(QColor(0x50, 0x50, 0x55));
    p.drawRoundedRect(bezel, 3, 3);
    const QRect picture(10, 4, 45, 26);
    const std::array<QColor, 7> bars{QColor(0xc0, 0xc0, 0xc0), QColor(0xc0, 0xc0, 0x00),
                                     QColor(0x00, 0xc0, 0xc0), QColor(0x00, 0xc0, 0x00),
                                     QColor(0xc0, 0x00, 0xc0), QColor(0xc0, 0x00, 0x00),
                                     QColor(0x00, 0x00, 0xc0)};
    p.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const int left = picture.left() + picture.width() * int(i) / 7;
        const int right = picture.left() + picture.width() * int(i + 1) / 7;
        p.fillRect(QRect(left, picture.top(), right - left, picture.height()), bars[i]);
    }
    // The stand.
    p.setBrush(QColor(0x50, 0x50, 0x55));
    p.drawRect(QRect(28, 35, 9, 3));
}

// The scaler's front: case, accent stripe, one lamp per input (the first lit), and the LAN socket.
void drawScaler(QPainter &p, const Look &look, int inputs, bool lan) {
    const QRectF body(1.5, 39.5, 62, 18);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, look.body.lighter(150));
    shade.setColorAt(1, look.body);
    p.setPen(QPen(QColor(0x15, 0x15, 0x15), 1));
    p.setBrush(shade);
    p.drawRoundedRect(body, 2, 2);
    p.setPen(Qt::NoPen);
    p.fillRect(QRect(3, 41, 59, 2), look.accent);
    for (int n = 0; n < inputs; ++n) {
        const QRectF lamp(5 + n * 7, 47, 4, 4);
        p.setBrush(n == 0 ? QColor(0x40, 0xff, 0x40) : QColor(0x1a, 0x30, 0x1a));
        p.drawEllipse(lamp);
    }
    if (lan) { // an RJ45 socket at the right end
        p.setBrush(QColor(0x10, 0x10, 0x10));
        p.drawRect(QRect(49, 45, 11, 9));
        p.setBrush(QColor(0xd0, 0xa0, 0x20));
        p.drawRect(QRect(51, 46, 7, 2));
    } else { // a knob
        p.setBrush(QColor(0xb0, 0xb0, 0xb0));
        p.drawEllipse(QRectF(52, 45, 8, 8));
    }
}

void drawName(QPainter &p, const Look &look, const QString &name) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(look.accent.darker(130));
    p.drawText(QRect(0, 59, kWidth, 14), Qt::AlignHCenter | Qt::AlignVCenter, name);
}

} // namespace

QPixmap Picture(int modelIndex) {
    QPixmap pixmap(kWidth, kHeight);
    pixmap.fill(Qt::transparent);
    if (modelIndex < 0 || modelIndex >= Models::kModelCount) return pixmap;
    const Models::Model &model = Models::kModels[static_cast<std::size_t>(modelIndex)];
    const Look &look = kLooks[static_cast<std::size_t>(modelIndex)];
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawScreen(p);
    drawScaler(p, look, model.inputs, model.dev == 33);
    drawName(p, look, QString::fromLatin1(model.name));
    return pixmap;
}

} // namespace ModelPictures
