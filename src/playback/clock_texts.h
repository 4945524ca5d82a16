#pragma once

#include <QRect>
#include <QString>

// Texts and placement for the clock display, its menu and the song tip.
namespace clocktexts {

// A title for a menu caption: its first single "&" doubled so that it shows; further
// ampersands stay as they are.
QString menuCaption(const QString& displayName);

// The tray icon's tooltip: the clock text and the title.
QString trayToolTip(const QString& clockText, const QString& displayName);

// Where the song tip opens next to the clock window: right edges aligned (the tip 4
// pixels further right), below the clock when it fits above the screen's bottom, else
// above it.
struct TipPlacement {
    QRect target; // the tip's final frame
    bool below = true;
};
TipPlacement songTipPlacement(const QRect& clock, int tipWidth, int tipHeight, int screenHeight);

} // namespace clocktexts
