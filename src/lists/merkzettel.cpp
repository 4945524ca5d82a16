#include "merkzettel.h"

#include "control_characters.h"
#include "registered_owner.h"

#include <QUrl>

namespace merkzettel {

// Lines with a control character are refused here and in explicit selections.
void add(QStringList& list, const QStringList& lines) {
    for (const QString& line : lines)
        if (!indexfile::hasControlCharacter(line)) list.append(line);
}

int remove(QStringList& list, const QStringList& lines) {
    int removed = 0;
    for (const QString& line : lines) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (list.at(i).compare(line, Qt::CaseInsensitive) == 0) {
                list.removeAt(i);
                ++removed;
                break;
            }
        }
    }
    return removed;
}

QStringList explicitSelection(const QString& argument) {
    QStringList lines;
    for (const QString& part : argument.split(u'&', Qt::SkipEmptyParts)) {
        const QString line = QUrl::fromPercentEncoding(part.toUtf8());
        if (!line.trimmed().isEmpty() && !indexfile::hasControlCharacter(line)) lines << line;
    }
    return lines;
}

QString registeredOwner() {
    return systemuser::registeredOwner();
}

QStringList mailHead(const QString& owner) {
    return {
        QStringLiteral("Diese e-Mail wurde von \"Vorlune\" automatisch generiert."),
        QStringLiteral("Bitte beachten Sie, dass eine Antwort auf diese Nachricht an das"),
        QStringLiteral("Postfach geht, über das der Absender des Merkzettels sie verschickt"),
        QStringLiteral("hat."),
        QStringLiteral("Im System des Absenders vermerkter Name: \"") + owner + QLatin1Char('"'),
        QString(),
        QStringLiteral("Um diesen Merkzettel in die \"Vorlune\" zu importieren, speichern"),
        QStringLiteral("Sie diese e-Mail im reinen ASCII-Text-Format als \"<Ihr Medien-Name>.cd\""),
        QStringLiteral("in dem Katalogordner ab, aus dem \"Vorlune\" ihre Medienverzeichnisse"),
        QStringLiteral("lädt (meist \"~/.local/share/vorlune\")."),
        QStringLiteral("Diese Vorgehensweise zum Importieren funktioniert NICHT bei einer"),
        QStringLiteral("\"Vorlune\" mit einer Build-Nummer kleiner als 251."),
    };
}

} // namespace merkzettel
