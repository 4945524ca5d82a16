#include "clock_texts.h"

namespace clocktexts {

QString menuCaption(const QString& displayName) {
    QString out = displayName;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i] != u'&') continue;
        if (i + 1 < out.size() && out[i + 1] == u'&') {
            ++i; // already shown as one ampersand
            continue;
        }
        out.insert(i, u'&');
        break;
    }
    return out;
}

QString trayToolTip(const QString& clockText, const QString& displayName) {
    return displayName.isEmpty() ? clockText : clockText + QLatin1Char('\n') + displayName;
}

TipPlacement songTipPlacement(const QRect& clock, int tipWidth, int tipHeight, int screenHeight) {
    TipPlacement p;
    const int left = clock.left() + clock.width() - tipWidth + 4;
    p.below = clock.top() + clock.height() + 6 < screenHeight;
    const int top = p.below ? clock.top() + clock.height() + 6 : clock.top() - tipHeight - 6;
    p.target = QRect(left, top, tipWidth, tipHeight);
    return p;
}

} // namespace clocktexts
