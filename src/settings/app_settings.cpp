#include "app_settings.h"

#include "control_characters.h"
#include "settings_keys.h"

#include <QStandardPaths>

#include <algorithm>

namespace appsettings {

namespace keys = settingskeys;

namespace {

void readInt(const SettingsStore& s, const QString& key, const char* name, int& target) {
    if (const auto v = s.readInteger(key, QLatin1String(name))) target = *v;
}

void readInt(const SettingsStore& s, const QString& key, const char* name,
             std::optional<int>& target) {
    if (const auto v = s.readInteger(key, QLatin1String(name))) target = *v;
}

void readBool(const SettingsStore& s, const QString& key, const char* name, bool& target) {
    if (const auto v = s.readBool(key, QLatin1String(name))) target = *v;
}

void readText(const SettingsStore& s, const QString& key, const char* name, QString& target) {
    if (const auto v = s.readText(key, QLatin1String(name))) target = *v;
}

} // namespace

QStringList commandGroups() {
    return {QStringLiteral("Wiedergabe"), QStringLiteral("Aktionen"),   QStringLiteral("Sammlung"),
            QStringLiteral("Lautstärke"), QStringLiteral("Merkzettel"), QStringLiteral("Optionen"),
            QStringLiteral("Streaming")};
}

Settings Settings::defaults(const QString& dataDir) {
    Settings s;
    s.main.musicDir = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (s.main.musicDir.isEmpty())
        s.main.musicDir = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) +
                          QStringLiteral("/Musik");
    s.streaming.logFile = dataDir + QStringLiteral("/vorlune.streaming.log");
    return s;
}

void load(const SettingsStore& store, Settings& settings) {
    MainSettings& m = settings.main;
    const QString& k = kMainKey;
    readInt(store, k, keys::main::SplitPos, m.splitPos);
    readInt(store, k, keys::main::WinPosX, m.winPosX);
    readInt(store, k, keys::main::WinPosY, m.winPosY);
    readInt(store, k, keys::main::WinSizeX, m.winSizeX);
    readInt(store, k, keys::main::WinSizeY, m.winSizeY);
    readBool(store, k, keys::main::WinMaximized, m.winMaximized);
    readInt(store, k, keys::main::SongsHistorySize, m.songsHistorySize);
    readInt(store, k, keys::main::SongsPlayed, m.songsPlayed);
    readInt(store, k, keys::main::ChartsSize, m.chartsSize);
    readBool(store, k, keys::main::Repeat, m.repeat);
    readBool(store, k, keys::main::Shuffle, m.shuffle);
    readBool(store, k, keys::main::CommandPanel, m.commandPanel);
    readBool(store, k, keys::main::SearchPanel, m.searchPanel);
    readBool(store, k, keys::main::DestPanel, m.destPanel);
    readBool(store, k, keys::main::ProfilePanel, m.profilePanel);
    readBool(store, k, keys::main::NameColumn, m.nameColumn);
    readBool(store, k, keys::main::CDColumn, m.cdColumn);
    readBool(store, k, keys::main::FullNameColumn, m.fullNameColumn);
    readText(store, k, keys::main::MusicDir, m.musicDir);
    readText(store, k, keys::main::Playlist, m.playlist);
    readText(store, k, keys::main::SearchText, m.searchText);
    readBool(store, k, keys::main::SearchExcludeMedia, m.searchExcludeMedia);
    readBool(store, k, keys::main::SearchExcludePads, m.searchExcludePads);
    readBool(store, k, keys::main::SearchDisableBalloon, m.searchDisableBalloon);
    readBool(store, k, keys::main::SearchDisableHighlight, m.searchDisableHighlight);
    readBool(store, k, keys::main::SearchLimit, m.searchLimit);
    readInt(store, k, keys::main::SearchLimitCount, m.searchLimitCount);
    readBool(store, k, keys::main::SearchMinLength, m.searchMinLength);
    readInt(store, k, keys::main::SearchMinLengthCount, m.searchMinLengthCount);
    readInt(store, k, keys::main::ViewStyle, m.viewStyle);
    // Only the three designed copy modes and two time modes select anything.
    if (const auto v = store.readInteger(k, QLatin1String(keys::main::CopyMode));
        v && *v >= 0 && *v <= 2)
        m.copyMode = *v;
    if (const auto v = store.readInteger(k, QLatin1String(keys::main::TimeMode));
        v && (*v == 0 || *v == 1))
        m.timeMode = *v;
    readBool(store, k, keys::main::TrayDisplay, m.trayDisplay);

    StreamingSettings& st = settings.streaming;
    const QString& sk = kStreamingKey;
    readText(store, sk, keys::streaming::Encoder, st.encoder);
    readText(store, sk, keys::streaming::StationID, st.stationId);
    readBool(store, sk, keys::streaming::Enabled, st.enabled);
    readBool(store, sk, keys::streaming::Logging, st.logging);
    readText(store, sk, keys::streaming::LogFile, st.logFile);
    readInt(store, sk, keys::streaming::StreamPort, st.streamPort);
    readInt(store, sk, keys::streaming::Device, st.device);
    if (const auto v = store.readText(sk, QLatin1String(keys::streaming::DeviceName)))
        st.deviceName = *v;
    readInt(store, sk, keys::streaming::SampleRate, st.sampleRate);
    readInt(store, sk, keys::streaming::VBRMethod, st.vbrMethod);
    readInt(store, sk, keys::streaming::BitRate, st.bitRate);
    readInt(store, sk, keys::streaming::Quality, st.quality);
    readBool(store, sk, keys::streaming::LimitListeners, st.limitListeners);
    readInt(store, sk, keys::streaming::MaxListeners, st.maxListeners);
    readBool(store, sk, keys::streaming::Private, st.privateFlag);

    settings.hiddenPanels.clear();
    for (const QString& group : commandGroups())
        if (store.hasValue(kHiddenPanelsKey, group)) settings.hiddenPanels.append(group);

    settings.quickSearchMru = store.valueNames(kQuickSearchMruKey).mid(0, kQuickSearchMruLimit);
    settings.playlistMru = store.valueNames(kPlaylistMruKey);
    // A title line with a control character would write lines of its own into a saved list.
    settings.brainMru.clear();
    for (const QString& line : store.valueNames(kBrainMruKey))
        if (!indexfile::hasControlCharacter(line)) settings.brainMru.append(line);
    settings.chartsMru.clear();
    for (const QString& name : store.valueNames(kChartsMruKey))
        settings.chartsMru.append({name, store.readText(kChartsMruKey, name).value_or(QString())});
}

void save(SettingsStore& store, const Settings& settings, const QDate& today,
          const QLocale& locale) {
    const MainSettings& m = settings.main;
    const QString& k = kMainKey;
    store.createKey(k);
    store.writeInteger(k, QLatin1String(keys::main::SplitPos), m.splitPos);
    if (!m.winMaximized) {
        if (m.winPosX) store.writeInteger(k, QLatin1String(keys::main::WinPosX), *m.winPosX);
        if (m.winPosY) store.writeInteger(k, QLatin1String(keys::main::WinPosY), *m.winPosY);
        if (m.winSizeX) store.writeInteger(k, QLatin1String(keys::main::WinSizeX), *m.winSizeX);
        if (m.winSizeY) store.writeInteger(k, QLatin1String(keys::main::WinSizeY), *m.winSizeY);
    }
    store.writeInteger(k, QLatin1String(keys::main::SongsHistorySize), m.songsHistorySize);
    store.writeInteger(k, QLatin1String(keys::main::SongsPlayed), m.songsPlayed);
    store.writeInteger(k, QLatin1String(keys::main::ChartsSize), m.chartsSize);
    store.writeBool(k, QLatin1String(keys::main::Repeat), m.repeat);
    store.writeBool(k, QLatin1String(keys::main::Shuffle), m.shuffle);
    store.writeBool(k, QLatin1String(keys::main::WinMaximized), m.winMaximized);
    store.writeBool(k, QLatin1String(keys::main::CommandPanel), m.commandPanel);
    store.writeBool(k, QLatin1String(keys::main::SearchPanel), m.searchPanel);
    store.writeBool(k, QLatin1String(keys::main::DestPanel), m.destPanel);
    store.writeBool(k, QLatin1String(keys::main::ProfilePanel), m.profilePanel);
    store.writeBool(k, QLatin1String(keys::main::NameColumn), m.nameColumn);
    store.writeBool(k, QLatin1String(keys::main::CDColumn), m.cdColumn);
    store.writeBool(k, QLatin1String(keys::main::FullNameColumn), m.fullNameColumn);
    store.writeText(k, QLatin1String(keys::main::MusicDir), m.musicDir);
    store.writeText(k, QLatin1String(keys::main::Playlist), m.playlist);
    store.writeBool(k, QLatin1String(keys::main::SearchExcludeMedia), m.searchExcludeMedia);
    store.writeBool(k, QLatin1String(keys::main::SearchExcludePads), m.searchExcludePads);
    store.writeBool(k, QLatin1String(keys::main::SearchDisableBalloon), m.searchDisableBalloon);
    store.writeBool(k, QLatin1String(keys::main::SearchDisableHighlight), m.searchDisableHighlight);
    store.writeBool(k, QLatin1String(keys::main::SearchLimit), m.searchLimit);
    store.writeInteger(k, QLatin1String(keys::main::SearchLimitCount), m.searchLimitCount);
    store.writeBool(k, QLatin1String(keys::main::SearchMinLength), m.searchMinLength);
    store.writeInteger(k, QLatin1String(keys::main::SearchMinLengthCount), m.searchMinLengthCount);
    store.writeText(k, QLatin1String(keys::main::SearchText), m.searchText);
    store.writeInteger(k, QLatin1String(keys::main::ViewStyle), m.viewStyle);
    store.writeInteger(k, QLatin1String(keys::main::CopyMode), m.copyMode);
    store.writeInteger(k, QLatin1String(keys::main::TimeMode), m.timeMode);
    store.writeBool(k, QLatin1String(keys::main::TrayDisplay), m.trayDisplay);

    const StreamingSettings& st = settings.streaming;
    const QString& sk = kStreamingKey;
    store.createKey(sk);
    store.writeBool(sk, QLatin1String(keys::streaming::Enabled), st.enabled);
    store.writeText(sk, QLatin1String(keys::streaming::Encoder), st.encoder);
    store.writeText(sk, QLatin1String(keys::streaming::StationID), st.stationId);
    store.writeBool(sk, QLatin1String(keys::streaming::Logging), st.logging);
    store.writeText(sk, QLatin1String(keys::streaming::LogFile), st.logFile);
    store.writeInteger(sk, QLatin1String(keys::streaming::StreamPort), st.streamPort);
    if (st.device) store.writeInteger(sk, QLatin1String(keys::streaming::Device), *st.device);
    if (st.deviceName)
        store.writeText(sk, QLatin1String(keys::streaming::DeviceName), *st.deviceName);
    store.writeInteger(sk, QLatin1String(keys::streaming::SampleRate), st.sampleRate);
    store.writeInteger(sk, QLatin1String(keys::streaming::VBRMethod), st.vbrMethod);
    store.writeInteger(sk, QLatin1String(keys::streaming::BitRate), st.bitRate);
    store.writeInteger(sk, QLatin1String(keys::streaming::Quality), st.quality);
    store.writeBool(sk, QLatin1String(keys::streaming::LimitListeners), st.limitListeners);
    store.writeInteger(sk, QLatin1String(keys::streaming::MaxListeners), st.maxListeners);
    store.writeBool(sk, QLatin1String(keys::streaming::Private), st.privateFlag);

    // Written anew, so that the names come back in the box's order, newest first.
    store.deleteKey(kQuickSearchMruKey);
    store.createKey(kQuickSearchMruKey);
    int searches = 0;
    for (const QString& item : settings.quickSearchMru) {
        if (searches == kQuickSearchMruLimit) break;
        if (item.isEmpty() || store.hasValue(kQuickSearchMruKey, item)) continue;
        store.writeText(kQuickSearchMruKey, item, QString());
        ++searches;
    }
    store.createKey(kPlaylistMruKey);
    for (const QString& item : settings.playlistMru)
        if (!item.isEmpty() && !store.hasValue(kPlaylistMruKey, item))
            store.writeText(kPlaylistMruKey, item, QString());

    store.deleteKey(kBrainMruKey);
    store.createKey(kBrainMruKey);
    for (const QString& line : settings.brainMru)
        store.writeText(kBrainMruKey, line, QString());

    store.deleteKey(kChartsMruKey);
    store.createKey(kChartsMruKey);
    const QString date = locale.toString(today, QLocale::ShortFormat);
    for (const auto& [line, record] : settings.chartsMru)
        store.writeText(kChartsMruKey, line,
                        record.contains(QLatin1Char(':')) ? record
                                                          : record + QLatin1Char(':') + date);
}

QList<std::pair<QString, QString>> soundEvents() {
    return {
        {QStringLiteral("VLFinishedCopying"), QStringLiteral("Kopieren abgeschlossen")},
        {QStringLiteral("VLWaitForMedia"), QStringLiteral("Medium einlegen")},
        {QStringLiteral("VLPasswordRequest"), QStringLiteral("Kennwort-Abfrage")},
        {QStringLiteral("VLInsufficientSpace"), QStringLiteral("Unzureichender Speicherplatz")}};
}

QRect placeOnScreen(const QRect& frame, const QList<QRect>& screens, const QRect& primary) {
    const int needWidth = std::min(frame.width(), 100);
    const int needHeight = std::min(frame.height(), 50);
    for (const QRect& screen : screens) {
        const QRect shown = frame.intersected(screen);
        if (!shown.isEmpty() && shown.width() >= needWidth && shown.height() >= needHeight)
            return frame;
    }
    if (primary.isEmpty()) return frame;
    QRect moved(QPoint(), frame.size().boundedTo(primary.size()));
    moved.moveCenter(primary.center());
    return moved;
}

QStringList ownedKeys() {
    QStringList keys{QLatin1String(keys::events::kScheme)};
    for (const auto& event : soundEvents())
        keys.append(QLatin1String(keys::events::kLabels) + QLatin1Char('\\') + event.first);
    keys.append(kMainKey);
    return keys;
}

void registerSoundEvents(SettingsStore& store) {
    const QString scheme = QLatin1String(keys::events::kScheme);
    store.writeText(scheme, QString(), QStringLiteral("Vorlune"));
    for (const auto& [name, label] : soundEvents()) {
        store.writeText(QLatin1String(keys::events::kLabels) + QLatin1Char('\\') + name, QString(),
                        label);
        store.createKey(scheme + QLatin1Char('\\') + name);
    }
}

void cleanStore(SettingsStore& store) {
    for (const QString& key : ownedKeys())
        store.deleteKey(key);
}

} // namespace appsettings
