#pragma once

#include "collection.h"

#include <QStringList>

// Builds media in memory the way index files describe them.
inline void addMedium(Collection& c, const QString& label, const QStringList& body) {
    QStringList lines{QStringLiteral("BEGIN::CD")};
    lines << body;
    c.addMedium(label, lines);
}

inline TreeNode* childNamed(TreeNode* parent, const QString& text) {
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text == text) return parent->child(i);
    return nullptr;
}

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(QStringLiteral(" | ")).toStdString() << '}';
}
