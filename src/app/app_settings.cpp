#include "app_settings.h"

#include "control_characters.h"

#include <QStandardPaths>

#include <algorithm>

namespace appsettings {

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
    readInt(store, k, "SplitPos", m.splitPos);
    readInt(store, k, "WinPosX", m.winPosX);
    readInt(store, k, "WinPosY", m.winPosY);
    readInt(store, k, "WinSizeX", m.winSizeX);
    readInt(store, k, "WinSizeY", m.winSizeY);
    readBool(store, k, "WinMaximized", m.winMaximized);
    readInt(store, k, "SongsHistorySize", m.songsHistorySize);
    readInt(store, k, "SongsPlayed", m.songsPlayed);
    readInt(store, k, "ChartsSize", m.chartsSize);
    readBool(store, k, "Repeat", m.repeat);
    readBool(store, k, "Shuffle", m.shuffle);
    readBool(store, k, "CommandPanel", m.commandPanel);
    readBool(store, k, "SearchPanel", m.searchPanel);
    readBool(store, k, "DestPanel", m.destPanel);
    readBool(store, k, "ProfilePanel", m.profilePanel);
    readBool(store, k, "NameColumn", m.nameColumn);
    readBool(store, k, "CDColumn", m.cdColumn);
    readBool(store, k, "FullNameColumn", m.fullNameColumn);
    readText(store, k, "MusicDir", m.musicDir);
    readText(store, k, "Playlist", m.playlist);
    readText(store, k, "SearchText", m.searchText);
    readBool(store, k, "SearchExcludeMedia", m.searchExcludeMedia);
    readBool(store, k, "SearchExcludePads", m.searchExcludePads);
    readBool(store, k, "SearchDisableBalloon", m.searchDisableBalloon);
    readBool(store, k, "SearchDisableHighlight", m.searchDisableHighlight);
    readBool(store, k, "SearchLimit", m.searchLimit);
    readInt(store, k, "SearchLimitCount", m.searchLimitCount);
    readBool(store, k, "SearchMinLength", m.searchMinLength);
    readInt(store, k, "SearchMinLengthCount", m.searchMinLengthCount);
    readInt(store, k, "ViewStyle", m.viewStyle);
    // Only the three designed copy modes and two time modes select anything.
    if (const auto v = store.readInteger(k, QStringLiteral("CopyMode")); v && *v >= 0 && *v <= 2)
        m.copyMode = *v;
    if (const auto v = store.readInteger(k, QStringLiteral("TimeMode")); v && (*v == 0 || *v == 1))
        m.timeMode = *v;
    readBool(store, k, "TrayDisplay", m.trayDisplay);

    StreamingSettings& st = settings.streaming;
    const QString& sk = kStreamingKey;
    readText(store, sk, "Encoder", st.encoder);
    readText(store, sk, "StationID", st.stationId);
    readBool(store, sk, "Enabled", st.enabled);
    readBool(store, sk, "Logging", st.logging);
    readText(store, sk, "LogFile", st.logFile);
    readInt(store, sk, "StreamPort", st.streamPort);
    readInt(store, sk, "Device", st.device);
    if (const auto v = store.readText(sk, QStringLiteral("DeviceName"))) st.deviceName = *v;
    readInt(store, sk, "SampleRate", st.sampleRate);
    readInt(store, sk, "VBRMethod", st.vbrMethod);
    readInt(store, sk, "BitRate", st.bitRate);
    readInt(store, sk, "Quality", st.quality);
    readBool(store, sk, "LimitListeners", st.limitListeners);
    readInt(store, sk, "MaxListeners", st.maxListeners);
    readBool(store, sk, "Private", st.privateFlag);

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
    store.writeInteger(k, QStringLiteral("SplitPos"), m.splitPos);
    if (!m.winMaximized) {
        if (m.winPosX) store.writeInteger(k, QStringLiteral("WinPosX"), *m.winPosX);
        if (m.winPosY) store.writeInteger(k, QStringLiteral("WinPosY"), *m.winPosY);
        if (m.winSizeX) store.writeInteger(k, QStringLiteral("WinSizeX"), *m.winSizeX);
        if (m.winSizeY) store.writeInteger(k, QStringLiteral("WinSizeY"), *m.winSizeY);
    }
    store.writeInteger(k, QStringLiteral("SongsHistorySize"), m.songsHistorySize);
    store.writeInteger(k, QStringLiteral("SongsPlayed"), m.songsPlayed);
    store.writeInteger(k, QStringLiteral("ChartsSize"), m.chartsSize);
    store.writeBool(k, QStringLiteral("Repeat"), m.repeat);
    store.writeBool(k, QStringLiteral("Shuffle"), m.shuffle);
    store.writeBool(k, QStringLiteral("WinMaximized"), m.winMaximized);
    store.writeBool(k, QStringLiteral("CommandPanel"), m.commandPanel);
    store.writeBool(k, QStringLiteral("SearchPanel"), m.searchPanel);
    store.writeBool(k, QStringLiteral("DestPanel"), m.destPanel);
    store.writeBool(k, QStringLiteral("ProfilePanel"), m.profilePanel);
    store.writeBool(k, QStringLiteral("NameColumn"), m.nameColumn);
    store.writeBool(k, QStringLiteral("CDColumn"), m.cdColumn);
    store.writeBool(k, QStringLiteral("FullNameColumn"), m.fullNameColumn);
    store.writeText(k, QStringLiteral("MusicDir"), m.musicDir);
    store.writeText(k, QStringLiteral("Playlist"), m.playlist);
    store.writeBool(k, QStringLiteral("SearchExcludeMedia"), m.searchExcludeMedia);
    store.writeBool(k, QStringLiteral("SearchExcludePads"), m.searchExcludePads);
    store.writeBool(k, QStringLiteral("SearchDisableBalloon"), m.searchDisableBalloon);
    store.writeBool(k, QStringLiteral("SearchDisableHighlight"), m.searchDisableHighlight);
    store.writeBool(k, QStringLiteral("SearchLimit"), m.searchLimit);
    store.writeInteger(k, QStringLiteral("SearchLimitCount"), m.searchLimitCount);
    store.writeBool(k, QStringLiteral("SearchMinLength"), m.searchMinLength);
    store.writeInteger(k, QStringLiteral("SearchMinLengthCount"), m.searchMinLengthCount);
    store.writeText(k, QStringLiteral("SearchText"), m.searchText);
    store.writeInteger(k, QStringLiteral("ViewStyle"), m.viewStyle);
    store.writeInteger(k, QStringLiteral("CopyMode"), m.copyMode);
    store.writeInteger(k, QStringLiteral("TimeMode"), m.timeMode);
    store.writeBool(k, QStringLiteral("TrayDisplay"), m.trayDisplay);

    const StreamingSettings& st = settings.streaming;
    const QString& sk = kStreamingKey;
    store.createKey(sk);
    store.writeBool(sk, QStringLiteral("Enabled"), st.enabled);
    store.writeText(sk, QStringLiteral("Encoder"), st.encoder);
    store.writeText(sk, QStringLiteral("StationID"), st.stationId);
    store.writeBool(sk, QStringLiteral("Logging"), st.logging);
    store.writeText(sk, QStringLiteral("LogFile"), st.logFile);
    store.writeInteger(sk, QStringLiteral("StreamPort"), st.streamPort);
    if (st.device) store.writeInteger(sk, QStringLiteral("Device"), *st.device);
    if (st.deviceName) store.writeText(sk, QStringLiteral("DeviceName"), *st.deviceName);
    store.writeInteger(sk, QStringLiteral("SampleRate"), st.sampleRate);
    store.writeInteger(sk, QStringLiteral("VBRMethod"), st.vbrMethod);
    store.writeInteger(sk, QStringLiteral("BitRate"), st.bitRate);
    store.writeInteger(sk, QStringLiteral("Quality"), st.quality);
    store.writeBool(sk, QStringLiteral("LimitListeners"), st.limitListeners);
    store.writeInteger(sk, QStringLiteral("MaxListeners"), st.maxListeners);
    store.writeBool(sk, QStringLiteral("Private"), st.privateFlag);

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
    QStringList keys{QStringLiteral("AppEvents\\Schemes\\Apps\\Vorlune")};
    for (const auto& event : soundEvents())
        keys.append(QStringLiteral("AppEvents\\EventLabels\\") + event.first);
    keys.append(kMainKey);
    return keys;
}

void registerSoundEvents(SettingsStore& store) {
    const QString scheme = QStringLiteral("AppEvents\\Schemes\\Apps\\Vorlune");
    store.writeText(scheme, QString(), QStringLiteral("Vorlune"));
    for (const auto& [name, label] : soundEvents()) {
        store.writeText(QStringLiteral("AppEvents\\EventLabels\\") + name, QString(), label);
        store.createKey(scheme + QLatin1Char('\\') + name);
    }
}

void cleanStore(SettingsStore& store) {
    for (const QString& key : ownedKeys())
        store.deleteKey(key);
}

} // namespace appsettings
