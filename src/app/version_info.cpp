#include "version_info.h"

#include "version_config.h"

#include <QStringList>

QString englishMonthAbbrev(int month) {
    static const char* const names[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (month < 1 || month > 12) return QString();
    return QString::fromLatin1(names[month - 1]);
}

MyVersionInfo MyVersionInfo::fromStrings(const QString& fileVersion, const QString& comments) {
    MyVersionInfo v;
    if (fileVersion.trimmed().isEmpty()) return v;
    const QStringList fv = fileVersion.split(u'.');
    auto num = [](const QStringList& l, int i) {
        return i < l.size() ? l[i].trimmed().toInt() : 0;
    };
    v.Major = num(fv, 0);
    v.Minor = num(fv, 1);
    const int extraCode = num(fv, 2);
    if (extraCode >= 'a' && extraCode <= 'z') v.Extra = QChar(extraCode);
    v.Build = num(fv, 3);
    const QStringList c = comments.split(u'.');
    v.ReleaseD = num(c, 0);
    v.ReleaseM = num(c, 1);
    v.ReleaseY = num(c, 2);

    v.VersionString =
        QStringLiteral("%1.%2%3 (Build %4)").arg(v.Major).arg(v.Minor).arg(v.Extra).arg(v.Build);
    v.ReleaseDate = QStringLiteral("%1-%2-%3")
                        .arg(v.ReleaseD, 2, 10, QLatin1Char('0'))
                        .arg(englishMonthAbbrev(v.ReleaseM))
                        .arg(v.ReleaseY, 4, 10, QLatin1Char('0'));
    v.Query =
        QStringLiteral("Major=%1&Minor=%2&Extra=%3&Build=%4&ReleaseD=%5&ReleaseM=%6&ReleaseY=%7"
                       "&VersionString=%8&ReleaseDate=%9&")
            .arg(v.Major)
            .arg(v.Minor)
            .arg(v.Extra)
            .arg(v.Build)
            .arg(v.ReleaseD)
            .arg(v.ReleaseM)
            .arg(v.ReleaseY)
            .arg(v.VersionString, v.ReleaseDate);
    return v;
}

const MyVersionInfo& MyVersionInfo::current() {
    static const MyVersionInfo info = [] {
        const QString extra = QStringLiteral(VORLUNE_VERSION_EXTRA);
        const int extraCode = extra.isEmpty() ? 0 : extra.at(0).unicode();
        return fromStrings(QStringLiteral("%1.%2.%3.%4")
                               .arg(VORLUNE_VERSION_MAJOR)
                               .arg(VORLUNE_VERSION_MINOR)
                               .arg(extraCode)
                               .arg(VORLUNE_VERSION_BUILD),
                           QStringLiteral("%1.%2.%3")
                               .arg(VORLUNE_RELEASE_DAY)
                               .arg(VORLUNE_RELEASE_MONTH)
                               .arg(VORLUNE_RELEASE_YEAR));
    }();
    return info;
}
