#include "copy_profiles.h"

#include "settings_keys.h"

#include "settings_store.h"

#include <QDir>
#include <QProcess>

#include <algorithm>

namespace copyprofiles {

namespace {
QString subKey(const QString& name) {
    return kProfilesKey + u'\\' + name.trimmed();
}
} // namespace

QStringList profileNames(SettingsStore& store) {
    store.createKey(kProfilesKey);
    QStringList names = store.subKeys(kProfilesKey);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

Profile readProfile(const SettingsStore& store, const QString& name) {
    Profile p;
    p.name = name.trimmed();
    const QString key = subKey(name);
    p.path = store.readText(key, QLatin1String(settingskeys::profile::Path)).value_or(QString());
    p.playlist =
        store.readText(key, QLatin1String(settingskeys::profile::Playlist)).value_or(QString());
    p.command =
        store.readText(key, QLatin1String(settingskeys::profile::Command)).value_or(QString());
    p.glyph = store.readText(key, QLatin1String(settingskeys::profile::Glyph)).value_or(QString());
    if (const auto first = store.readBinary(key, QStringLiteral("GlyphData1"))) {
        p.hasGlyphData = true;
        p.glyphData = first->left(kGlyphHalfLimit);
        p.glyphData += store.readBinary(key, QStringLiteral("GlyphData2"))
                           .value_or(QByteArray())
                           .left(kGlyphHalfLimit);
    }
    return p;
}

void writeProfile(SettingsStore& store, const Profile& profile) {
    const QString key = subKey(profile.name);
    store.writeText(key, QLatin1String(settingskeys::profile::Path), profile.path);
    store.writeText(key, QLatin1String(settingskeys::profile::Playlist), profile.playlist);
    store.writeText(key, QLatin1String(settingskeys::profile::Command), profile.command);
    store.writeText(key, QLatin1String(settingskeys::profile::Glyph), profile.glyph);
    if (profile.hasGlyphData || !profile.glyphData.isEmpty()) {
        const qsizetype half = profile.glyphData.size() / 2;
        store.writeBinary(key, QStringLiteral("GlyphData1"), profile.glyphData.left(half));
        store.writeBinary(key, QStringLiteral("GlyphData2"), profile.glyphData.mid(half));
    } else {
        store.deleteValue(key, QStringLiteral("GlyphData1"));
        store.deleteValue(key, QStringLiteral("GlyphData2"));
    }
}

void deleteProfile(SettingsStore& store, const QString& name) {
    store.deleteKey(subKey(name));
}

QString activeProfileName(const SettingsStore& store) {
    return store.readText(kProfilesKey, QString()).value_or(QString());
}

void setActiveProfileName(SettingsStore& store, const QString& name) {
    store.writeText(kProfilesKey, QString(), name);
}

QString glyphFilePath(const QString& dataDir, const QString& name) {
    const QString n = name.trimmed();
    if (n.isEmpty() || n == u"." || n == u".." || n.contains(u'/') || n.contains(QChar(0)))
        return {};
    return QDir(dataDir).filePath(n + QStringLiteral(".glyph"));
}

} // namespace copyprofiles

CommandLine SplitCommandLine(const QString& text) {
    const QString t = text.trimmed();
    CommandLine c;
    bool quoted = false;
    qsizetype i = 0;
    for (; i < t.size(); ++i) {
        const QChar ch = t[i];
        if (ch == u'"') {
            quoted = !quoted;
            continue;
        }
        if (ch == u' ' && !quoted) break;
        c.program += ch;
    }
    c.parameters = t.mid(i).trimmed();
    return c;
}

QStringList CommandLine::arguments() const {
    return QProcess::splitCommand(parameters);
}
