#include "options_pages.h"

#include "settings_keys.h"

#include "settings_store.h"

#include <QFileInfo>

#include <algorithm>

namespace optionspages {

QStringList soundEvents() {
    QStringList names;
    for (const auto& event : appsettings::soundEvents())
        names.append(event.first);
    return names;
}

QString soundKey(const QString& event) {
    return QLatin1String(settingskeys::events::kScheme) + u'\\' + event + u'\\' +
           QLatin1String(settingskeys::events::kCurrent);
}

QStringList readSounds(const SettingsStore& store) {
    QStringList files;
    for (const QString& event : soundEvents())
        files.append(store.readText(soundKey(event), QString()).value_or(QString()));
    return files;
}

void writeSounds(SettingsStore& store, const QStringList& files) {
    const QStringList events = soundEvents();
    for (int i = 0; i < events.size() && i < files.size(); ++i)
        store.writeText(soundKey(events[i]), QString(), files[i]);
}

bool playable(const QString& field) {
    const QString file = field.trimmed();
    return !file.isEmpty() && QFileInfo(file).isFile();
}

SearchValues searchValues(const appsettings::MainSettings& m) {
    SearchValues v;
    v.nomedia = m.searchExcludeMedia;
    v.nopads = m.searchExcludePads;
    v.reslimit = m.searchLimit;
    v.reslimitcnt = std::clamp(m.searchLimitCount, 0, kMaxResultLimit);
    v.nosyntax = m.searchDisableHighlight;
    v.minln = m.searchMinLength;
    v.minlncnt = std::clamp(m.searchMinLengthCount, 0, kMaxMinLength);
    v.noballoon = m.searchDisableBalloon;
    return v;
}

void applySearch(appsettings::MainSettings& m, const SearchValues& v) {
    m.searchExcludeMedia = v.nomedia;
    m.searchExcludePads = v.nopads;
    m.searchDisableBalloon = v.noballoon;
    m.searchDisableHighlight = v.nosyntax;
    m.searchLimit = v.reslimit;
    m.searchMinLength = v.minln;
    m.searchLimitCount = std::clamp(v.reslimitcnt, 0, kMaxResultLimit);
    m.searchMinLengthCount = std::clamp(v.minlncnt, 0, kMaxMinLength);
}

void writeSearch(SettingsStore& store, appsettings::MainSettings& m, const SearchValues& v) {
    applySearch(m, v);
    const QString& k = appsettings::kMainKey;
    store.writeBool(k, QLatin1String(settingskeys::main::SearchExcludeMedia), m.searchExcludeMedia);
    store.writeBool(k, QLatin1String(settingskeys::main::SearchExcludePads), m.searchExcludePads);
    store.writeBool(k, QLatin1String(settingskeys::main::SearchDisableBalloon),
                    m.searchDisableBalloon);
    store.writeBool(k, QLatin1String(settingskeys::main::SearchDisableHighlight),
                    m.searchDisableHighlight);
    store.writeBool(k, QLatin1String(settingskeys::main::SearchLimit), m.searchLimit);
    store.writeBool(k, QLatin1String(settingskeys::main::SearchMinLength), m.searchMinLength);
    store.writeInteger(k, QLatin1String(settingskeys::main::SearchLimitCount), m.searchLimitCount);
    store.writeInteger(k, QLatin1String(settingskeys::main::SearchMinLengthCount),
                       m.searchMinLengthCount);
}

void writeHiddenPanels(SettingsStore& store, const QStringList& hidden) {
    const QString& key = appsettings::kHiddenPanelsKey;
    store.createKey(key);
    for (const QString& group : appsettings::commandGroups()) {
        if (hidden.contains(group))
            store.writeBool(key, group, true);
        else
            store.deleteValue(key, group);
    }
}

QStringList sampleRateItems() {
    return {QStringLiteral("8.000 Hz"),  QStringLiteral("11.025 Hz"), QStringLiteral("12.000 Hz"),
            QStringLiteral("16.000 Hz"), QStringLiteral("22.050 Hz"), QStringLiteral("24.000 Hz"),
            QStringLiteral("32.000 Hz"), QStringLiteral("44.100 Hz"), QStringLiteral("48.000 Hz")};
}

QStringList bitRateItems() {
    QStringList items;
    for (int kbps : {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 192, 224, 256, 320})
        items.append(QStringLiteral("%1 kbps").arg(kbps));
    return items;
}

QStringList vbrMethodItems() {
    return {QStringLiteral("(Kein)"), QStringLiteral("ABR"), QStringLiteral("VBR"),
            QStringLiteral("R3-Mix")};
}

QStringList qualityItems() {
    QStringList items;
    for (int i = 0; i < 10; ++i)
        items.append(QString::number(i));
    items[0] += QStringLiteral(" (Beste)");
    items[3] += QStringLiteral(" (Hoch)");
    items[6] += QStringLiteral(" (Mittel)");
    items[9] += QStringLiteral(" (Niedrig)");
    return items;
}

QString stationPreset(const QString& owner) {
    return QStringLiteral("Vorlune: Aktuelle Übertragung von ") + owner;
}

void writeStreaming(SettingsStore& store, const appsettings::StreamingSettings& s) {
    const QString& k = appsettings::kStreamingKey;
    store.writeBool(k, QLatin1String(settingskeys::streaming::Enabled), s.enabled);
    store.writeText(k, QLatin1String(settingskeys::streaming::Encoder), s.encoder);
    store.writeText(k, QLatin1String(settingskeys::streaming::StationID), s.stationId);
    store.writeInteger(k, QLatin1String(settingskeys::streaming::StreamPort), s.streamPort);
    if (s.device) store.writeInteger(k, QLatin1String(settingskeys::streaming::Device), *s.device);
    if (s.deviceName)
        store.writeText(k, QLatin1String(settingskeys::streaming::DeviceName), *s.deviceName);
    store.writeInteger(k, QLatin1String(settingskeys::streaming::SampleRate), s.sampleRate);
    store.writeInteger(k, QLatin1String(settingskeys::streaming::VBRMethod), s.vbrMethod);
    store.writeInteger(k, QLatin1String(settingskeys::streaming::BitRate), s.bitRate);
    store.writeInteger(k, QLatin1String(settingskeys::streaming::Quality), s.quality);
    store.writeBool(k, QLatin1String(settingskeys::streaming::LimitListeners), s.limitListeners);
    store.writeInteger(k, QLatin1String(settingskeys::streaming::MaxListeners), s.maxListeners);
    store.writeBool(k, QLatin1String(settingskeys::streaming::Private), s.privateFlag);
    store.writeBool(k, QLatin1String(settingskeys::streaming::Logging), s.logging);
}

StreamingRules streamingRules(bool enabled, int vbrMethod, bool limitListeners) {
    StreamingRules r;
    r.controlsEnabled = enabled;
    r.limitEnabled = enabled && limitListeners;
    r.rateLabel = vbrMethod == 2 ? QStringLiteral("&Qualität:") : QStringLiteral("&Bitrate:");
    r.rateLabelVisible = vbrMethod >= 0 && vbrMethod <= 2;
    r.bitRateVisible = vbrMethod == 0 || vbrMethod == 1;
    r.qualityVisible = vbrMethod == 2;
    return r;
}

void clearHistory(SettingsStore& store, const QString& key) {
    store.deleteKey(key);
}

} // namespace optionspages
