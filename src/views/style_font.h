#pragma once

#include "index_file.h"

#include <QColor>
#include <QFont>
#include <QVariant>

// A display mark applied over a base font.
inline QFont styledFont(QFont font, const indexfile::TitleStyle& style) {
    if (style.bold) font.setBold(true);
    if (style.italic) font.setItalic(true);
    if (style.underline) font.setUnderline(true);
    if (style.strikeout) font.setStrikeOut(true);
    return font;
}

// The mark's colour, or no value when it sets none.
inline QVariant styleColour(const indexfile::TitleStyle& style) {
    if (!style.hasColour) return {};
    return QColor(QRgb(0xFF000000u | style.rgb));
}
