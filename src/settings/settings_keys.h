#pragma once

// Every key path and value name of the settings store, one place per key.
// Key paths are compared without regard to case by the store.
namespace settingskeys {

inline constexpr char kRoot[] = "Software\\Vorlune";

namespace main {
inline constexpr char kPath[] = "Software\\Vorlune";
inline constexpr char SplitPos[] = "SplitPos";
inline constexpr char WinPosX[] = "WinPosX";
inline constexpr char WinPosY[] = "WinPosY";
inline constexpr char WinSizeX[] = "WinSizeX";
inline constexpr char WinSizeY[] = "WinSizeY";
inline constexpr char WinMaximized[] = "WinMaximized";
inline constexpr char SongsHistorySize[] = "SongsHistorySize";
inline constexpr char SongsPlayed[] = "SongsPlayed";
inline constexpr char ChartsSize[] = "ChartsSize";
inline constexpr char Repeat[] = "Repeat";
inline constexpr char Shuffle[] = "Shuffle";
inline constexpr char CommandPanel[] = "CommandPanel";
inline constexpr char SearchPanel[] = "SearchPanel";
inline constexpr char DestPanel[] = "DestPanel";
inline constexpr char ProfilePanel[] = "ProfilePanel";
inline constexpr char NameColumn[] = "NameColumn";
inline constexpr char CDColumn[] = "CDColumn";
inline constexpr char FullNameColumn[] = "FullNameColumn";
inline constexpr char MusicDir[] = "MusicDir";
inline constexpr char Playlist[] = "Playlist";
inline constexpr char SearchText[] = "SearchText";
inline constexpr char SearchExcludeMedia[] = "SearchExcludeMedia";
inline constexpr char SearchExcludePads[] = "SearchExcludePads";
inline constexpr char SearchDisableBalloon[] = "SearchDisableBalloon";
inline constexpr char SearchDisableHighlight[] = "SearchDisableHighlight";
inline constexpr char SearchLimit[] = "SearchLimit";
inline constexpr char SearchLimitCount[] = "SearchLimitCount";
inline constexpr char SearchMinLength[] = "SearchMinLength";
inline constexpr char SearchMinLengthCount[] = "SearchMinLengthCount";
inline constexpr char ViewStyle[] = "ViewStyle";
inline constexpr char CopyMode[] = "CopyMode";
inline constexpr char TimeMode[] = "TimeMode";
inline constexpr char TrayDisplay[] = "TrayDisplay";
} // namespace main

namespace streaming {
inline constexpr char kPath[] = "Software\\Vorlune\\Streaming";
inline constexpr char Enabled[] = "Enabled";
inline constexpr char Encoder[] = "Encoder";
inline constexpr char StationID[] = "StationID";
inline constexpr char Logging[] = "Logging";
inline constexpr char LogFile[] = "LogFile";
inline constexpr char StreamPort[] = "StreamPort";
inline constexpr char Device[] = "Device";
inline constexpr char DeviceName[] = "DeviceName";
inline constexpr char SampleRate[] = "SampleRate";
inline constexpr char VBRMethod[] = "VBRMethod";
inline constexpr char BitRate[] = "BitRate";
inline constexpr char Quality[] = "Quality";
inline constexpr char LimitListeners[] = "LimitListeners";
inline constexpr char MaxListeners[] = "MaxListeners";
inline constexpr char Private[] = "Private";
} // namespace streaming

namespace relay {
inline constexpr char kPath[] = "Software\\Vorlune\\Streaming\\Relay";
inline constexpr char Enabled[] = "Enabled";
inline constexpr char Host[] = "Host";
inline constexpr char Port[] = "Port";
inline constexpr char Mount[] = "Mount";
inline constexpr char User[] = "User";
inline constexpr char Password[] = "Password";
inline constexpr char TLS[] = "TLS";
} // namespace relay

namespace mail {
inline constexpr char kPath[] = "Software\\Vorlune\\Mail";
inline constexpr char Server[] = "Server";
inline constexpr char Port[] = "Port";
inline constexpr char Security[] = "Security";
inline constexpr char User[] = "User";
inline constexpr char Password[] = "Password";
inline constexpr char Sender[] = "Sender";
inline constexpr char PasswordInKeyring[] = "PasswordInKeyring";
} // namespace mail

// One sub-key per copy profile.
namespace profile {
inline constexpr char kParent[] = "SOFTWARE\\Vorlune\\Profiles";
inline constexpr char Path[] = "Path";
inline constexpr char Playlist[] = "Playlist";
inline constexpr char Command[] = "Command";
inline constexpr char Glyph[] = "Glyph";
} // namespace profile

// Keys whose value names are the entries.
inline constexpr char kHiddenPanels[] = "Software\\Vorlune\\HiddenPanels";
inline constexpr char kQuickSearchMru[] = "Software\\Vorlune\\QuickSearchMRU";
inline constexpr char kPlaylistMru[] = "Software\\Vorlune\\PlaylistMRU";
inline constexpr char kBrainMru[] = "Software\\Vorlune\\BrainMRU";
inline constexpr char kChartsMru[] = "Software\\Vorlune\\ChartsMRU";

// Sound events: the scheme's key holds one sub-key per event, whose default value
// names the file; the labels live apart.
namespace events {
inline constexpr char kScheme[] = "AppEvents\\Schemes\\Apps\\Vorlune";
inline constexpr char kLabels[] = "AppEvents\\EventLabels";
inline constexpr char kCurrent[] = ".current";
} // namespace events

} // namespace settingskeys
