#include "medium_label.h"

namespace mediumlabel {

namespace {

// Room for the extension within the usual 255-byte limit of a file name.
constexpr qsizetype kMaxLabelBytes = 240;

} // namespace

bool isFileNameSafe(QStringView label) {
    if (label.isEmpty() || label == u"." || label == u"..") return false;
    for (const QChar c : label) {
        const char16_t u = c.unicode();
        if (u == u'/' || u == u'\\' || u < 0x20 || u == 0x7f) return false;
    }
    return label.toUtf8().size() <= kMaxLabelBytes;
}

QString fileName(QStringView label, QStringView extension) {
    if (!isFileNameSafe(label)) return {};
    return label.toString() + extension.toString();
}

namespace {

QString idStem(QStringView label) {
    QString stem = label.toString();
    stem.replace(u'/', u'-');
    stem.replace(u'\\', u'-');
    if (stem == u"." || stem == u"..") stem = QStringLiteral("_");
    return stem;
}

} // namespace

QString idFileName(QStringView label) {
    return fileName(idStem(label), u".id");
}

QString idFileProblem(QStringView label) {
    const QString stem = idStem(label);
    if (stem.isEmpty()) return QStringLiteral("die Bezeichnung ist leer");
    for (const QChar c : stem)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("die Bezeichnung enthält Steuerzeichen");
    if (!isFileNameSafe(stem))
        return QStringLiteral("die Bezeichnung ist für einen Dateinamen zu lang");
    return {};
}

} // namespace mediumlabel
