#include "view_icons.h"

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace viewicons {

namespace {

QPixmap canvas(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

void drawFolder(QPainter& p, int s, bool open) {
    const QColor body(0xE8, 0xB8, 0x4A);
    p.setPen(QColor(0x9A, 0x70, 0x10));
    p.setBrush(body.darker(110));
    p.drawRect(QRectF(s * 0.06, s * 0.2, s * 0.38, s * 0.15));
    p.setBrush(body);
    if (open) {
        QPainterPath path;
        path.moveTo(s * 0.06, s * 0.85);
        path.lineTo(s * 0.22, s * 0.4);
        path.lineTo(s * 0.96, s * 0.4);
        path.lineTo(s * 0.8, s * 0.85);
        path.closeSubpath();
        p.drawRect(QRectF(s * 0.06, s * 0.3, s * 0.8, s * 0.55));
        p.setBrush(body.lighter(120));
        p.drawPath(path);
    } else {
        p.drawRect(QRectF(s * 0.06, s * 0.3, s * 0.88, s * 0.55));
    }
}

void drawBadge(QPainter& p, int s, const QColor& colour, const QString& text, bool round) {
    p.setPen(colour.darker(150));
    p.setBrush(colour);
    const QRectF r(s * 0.06, s * 0.06, s * 0.88, s * 0.88);
    if (round)
        p.drawEllipse(r);
    else
        p.drawRoundedRect(r, s * 0.12, s * 0.12);
    if (text.isEmpty()) return;
    QFont f = p.font();
    f.setPixelSize(std::max(6, int(s * (text.size() > 2 ? 0.32 : 0.42))));
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, text);
}

QPixmap treePixmap(int index, int s) {
    QPixmap pm = canvas(s);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 0:
        drawBadge(p, s, QColor(0x35, 0x6A, 0xB5), QStringLiteral("\u2261"), false);
        break;
    case 1:
        drawBadge(p, s, QColor(0x4A, 0x4A, 0x4A), QStringLiteral("\u25A4"), false);
        break;
    case 2:
        drawBadge(p, s, QColor(0x2E, 0x8B, 0x57), QStringLiteral("A-Z"), false);
        break;
    case 3:
        drawBadge(p, s, QColor(0x6A, 0x5A, 0xCD), QStringLiteral("?"), true);
        break;
    case 5:
        drawFolder(p, s, false);
        break;
    case 6:
        drawFolder(p, s, true);
        break;
    case 7:
        drawBadge(p, s, QColor(0xE0, 0xC0, 0x30), QStringLiteral("M"), false);
        break;
    case 8:
        drawBadge(p, s, QColor(0x70, 0x70, 0x70), QStringLiteral("DSK"), false);
        break;
    case 9:
        drawBadge(p, s, QColor(0x20, 0x60, 0xA0), QStringLiteral("USB"), false);
        break;
    case 10:
        drawBadge(p, s, QColor(0x80, 0x40, 0xA0), QStringLiteral("RAM"), false);
        break;
    case 11:
        drawBadge(p, s, QColor(0xB0, 0xB0, 0xC0), QStringLiteral("CD"), true);
        break;
    case 12:
        drawBadge(p, s, QColor(0x50, 0x50, 0x60), QStringLiteral("HDD"), false);
        break;
    case 13:
        drawBadge(p, s, QColor(0x20, 0x80, 0x80), QStringLiteral("LAN"), false);
        break;
    case 14:
        drawBadge(p, s, QColor(0x20, 0x70, 0xD0), QStringLiteral("WWW"), true);
        break;
    case 15:
        drawBadge(p, s, QColor(0x20, 0x90, 0x40), QStringLiteral("\u25B6"), false);
        break;
    case 16:
        drawBadge(p, s, QColor(0xD0, 0x50, 0x20), QStringLiteral("\u2605"), false);
        break;
    default:
        drawBadge(p, s, QColor(0x90, 0x90, 0x90), QStringLiteral("?"), false);
        break;
    }
    return pm;
}

QPixmap titlePixmap(int index, int s) {
    QPixmap pm = canvas(s);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const bool video = index >= Video;
    const bool current = index == AudioCurrent || index == VideoCurrent;
    drawBadge(p, s, video ? QColor(0x30, 0x30, 0x40) : QColor(0x3A, 0x7B, 0xD5),
              video ? QStringLiteral("\u25A3") : QStringLiteral("\u266B"), !video);
    if (current) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x20, 0xC0, 0x40));
        QPainterPath tri;
        tri.moveTo(s * 0.5, s * 0.5);
        tri.lineTo(s * 1.0, s * 0.75);
        tri.lineTo(s * 0.5, s * 1.0);
        tri.closeSubpath();
        p.drawPath(tri);
    }
    return pm;
}

QIcon makeIcon(QPixmap (*paint)(int, int), int index) {
    QIcon icon;
    for (int s : {16, 32})
        icon.addPixmap(paint(index, s));
    return icon;
}

} // namespace

QIcon treeIcon(int index) {
    static QHash<int, QIcon> cache;
    auto it = cache.find(index);
    if (it == cache.end()) it = cache.insert(index, makeIcon(treePixmap, index));
    return *it;
}

QIcon titleIcon(int index) {
    static QHash<int, QIcon> cache;
    auto it = cache.find(index);
    if (it == cache.end()) it = cache.insert(index, makeIcon(titlePixmap, index));
    return *it;
}

} // namespace viewicons
