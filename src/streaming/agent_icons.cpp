#include "agent_icons.h"

#include "statistics_texts.h"

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPixmap>

namespace agenticons {

namespace {

void drawGlobe(QPainter& p, const QRectF& r, const QColor& colour) {
    p.setPen(QPen(colour.darker(160), r.width() / 14));
    p.setBrush(colour);
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(r.width() * 0.3, 0, -r.width() * 0.3, 0));
    p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
}

QPixmap draw(int index, int s) {
    QPixmap pm(s, s);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(s * 0.06, s * 0.06, s * 0.88, s * 0.88);
    struct Look {
        QColor colour;
        const char* text;
        bool round;
    };
    static const Look looks[stattexts::AgentIconCount] = {
        {QColor(0x80, 0x80, 0x80), "?", true},   {QColor(0xE0, 0x8A, 0x1E), "Wa", false},
        {QColor(0x2A, 0x62, 0xC9), "WM", false}, {QColor(0x3A, 0x3A, 0x3A), "fb", false},
        {QColor(0xB0, 0x30, 0x40), "Ap", false}, {QColor(0x3C, 0x8D, 0xD8), "", true},
        {QColor(0x1E, 0x5A, 0xA8), "IE", true},  {QColor(0x1D, 0x4F, 0x91), "RP", false},
        {QColor(0x5B, 0x6E, 0x86), "QT", true},  {QColor(0xC0, 0x3C, 0x9A), "iT", true},
        {QColor(0xF0, 0x80, 0x10), "", false},
    };
    const Look& look = looks[qBound(0, index, stattexts::AgentIconCount - 1)];
    if (index == stattexts::WebBrowser || index == stattexts::InternetExplorer) {
        drawGlobe(p, r, look.colour);
    } else if (index == stattexts::Vlc) {
        // A striped cone.
        QPolygonF cone;
        cone << QPointF(s * 0.5, s * 0.06) << QPointF(s * 0.84, s * 0.86)
             << QPointF(s * 0.16, s * 0.86);
        p.setPen(QPen(look.colour.darker(150), s / 16.0));
        p.setBrush(look.colour);
        p.drawPolygon(cone);
        p.setPen(QPen(Qt::white, s / 10.0));
        p.drawLine(QPointF(s * 0.36, s * 0.45), QPointF(s * 0.64, s * 0.45));
        p.fillRect(QRectF(s * 0.1, s * 0.84, s * 0.8, s * 0.1), look.colour.darker(130));
    } else {
        p.setPen(look.colour.darker(150));
        p.setBrush(look.colour);
        if (look.round)
            p.drawEllipse(r);
        else
            p.drawRoundedRect(r, s * 0.15, s * 0.15);
    }
    const QString text = QString::fromLatin1(look.text);
    if (!text.isEmpty()) {
        QFont f = p.font();
        f.setPixelSize(qMax(6, int(s * (text.size() > 1 ? 0.4 : 0.6))));
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(r, Qt::AlignCenter, text);
    }
    return pm;
}

} // namespace

QIcon icon(int index) {
    static QHash<int, QIcon> cache;
    const auto it = cache.constFind(index);
    if (it != cache.constEnd()) return *it;
    QIcon i;
    for (int s : {16, 32})
        i.addPixmap(draw(index, s));
    cache.insert(index, i);
    return i;
}

} // namespace agenticons
