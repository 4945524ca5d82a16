#include "command_catalogue.h"

#include "control_characters.h"

#include <QUrl>

#include <algorithm>
#include <tuple>

namespace commandcatalogue {

namespace {

using uistate::NodeKind;

// The rules: pure functions of the state.
bool canPlay(const UiState& s) {
    return uistate::canPlay(s.transport);
}
bool canPause(const UiState& s) {
    return uistate::canPause(s.transport);
}
bool canStop(const UiState& s) {
    return uistate::canStop(s.transport);
}
bool canPrev(const UiState& s) {
    return uistate::canPrev(s.transport);
}
bool canNext(const UiState& s) {
    return uistate::canNext(s.transport);
}
bool canRepeat(const UiState& s) {
    return uistate::canRepeat(s.transport);
}
bool canShuffle(const UiState& s) {
    return uistate::canShuffle(s.transport);
}
bool canSeek(const UiState& s) {
    return uistate::canSeek(s.transport);
}
bool isPlaying(const UiState& s) {
    return s.transport.running;
}
bool canSearch(const UiState& s) {
    return s.searchReady && !s.busy;
}
bool searchExists(const UiState& s) {
    return s.searchReady;
}
bool hasItems(const UiState& s) {
    return s.viewsExist && s.listItems > 0;
}
bool showsIcons(const UiState& s) {
    return s.viewsExist && s.iconView;
}
bool canRemember(const UiState& s) {
    return s.selected > 0 && s.node != NodeKind::Merkzettel;
}
bool canRemoveTitle(const UiState& s) {
    return s.selected > 0 && s.node == NodeKind::Merkzettel;
}
bool merkzettelFilled(const UiState& s) {
    return s.merkzettelTitles > 0;
}
bool canMail(const UiState& s) {
    return s.merkzettelTitles > 0 && !s.mailUnderWay;
}
bool canCopy(const UiState& s) {
    return !s.copyRunning && !s.destination.trimmed().isEmpty() && s.selected > 0;
}
bool oneSelected(const UiState& s) {
    return s.selected == 1;
}
bool wasShown(const UiState& s) {
    return s.windowShown;
}
bool streamingOn(const UiState& s) {
    return s.streamingEnabled;
}

constexpr FrontEnds kTransport = Menu | Socket | Web | DBus | Mpris;

// The main menu's paths, in menu bar order.
constexpr const char* kFile = "&Datei";
constexpr const char* kView = "&Ansicht";
constexpr const char* kList = "&Ansicht/&Dateiliste";
constexpr const char* kPlay = "W&iedergabe";
constexpr const char* kNotes = "&Merkzettel";
constexpr const char* kOptions = "&Einstellungen";

std::vector<Descriptor> makeCatalogue() {
    // The order is the documentation's.
    return {
        {"play",
         Service::Transport,
         [](CommandServices& s, const QString&) { s.transport->onPlay(); },
         Arg::None,
         Menu | Socket | Mpris,
         canPlay,
         false,
         {{"play", nullptr, nullptr, nullptr, "Wiedergabe"}, {"Play2"}},
         {},
         nullptr,
         1},
        {"playselection",
         Service::Transport,
         [](CommandServices& s, const QString&) { s.transport->onPlaySelection(); },
         Arg::None,
         Menu,
         canPlay,
         false,
         {{"Wiedergabe3", "&Wiedergabe", nullptr, nullptr, nullptr, {kFile, 0, 10}},
          {"Play1", "&Play", "F6", nullptr, nullptr, {kPlay, 0, 10}},
          {"Wiedergabe2", "&Wiedergabe"}}},
        {"pause",
         Service::Transport,
         [](CommandServices& s, const QString&) { s.transport->onPause(); },
         Arg::None,
         kTransport,
         canPause,
         true,
         {{"Pause1", "P&ause", "F8", nullptr, nullptr, {kPlay, 0, 20}},
          {"pause", nullptr, nullptr, nullptr, "Pause"},
          {"Pause2"}},
         {{"PAUSE", 1}},
         "COMMAND",
         2},
        {"stop",
         Service::Transport,
         [](CommandServices& s, const QString&) { s.transport->onStop(); },
         Arg::None,
         kTransport,
         canStop,
         false,
         {{"Stop1", "&Stop", "F9", nullptr, nullptr, {kPlay, 0, 30}},
          {"stop", nullptr, nullptr, nullptr, "Stop"},
          {"Stop2"}},
         {{"STOP", 1}},
         "COMMAND",
         3},
        {"prev",
         Service::Transport,
         [](CommandServices& s, const QString& a) { s.transport->onPrev(a.toInt()); },
         Arg::Count,
         kTransport,
         canPrev,
         false,
         {{"VorherigerTitel1", "&Vorheriger Titel", "F5", nullptr, nullptr, {kPlay, 0, 40}},
          {"prev", nullptr, nullptr, nullptr, "Vorheriger Titel"},
          {"VorherigerTitel2"}},
         {{"PREV", 1}},
         "COMMAND",
         4},
        {"next",
         Service::Transport,
         [](CommandServices& s, const QString& a) { s.transport->onNext(a.toInt()); },
         Arg::Count,
         kTransport,
         canNext,
         false,
         {{"NchsterTitel1", "&Nächster Titel", "F7", nullptr, nullptr, {kPlay, 0, 50}},
          {"next", nullptr, nullptr, nullptr, "Nächster Titel"},
          {"NchsterTitel2"}},
         {{"NEXT", 1}},
         "COMMAND",
         5},
        {"repeat",
         Service::Transport,
         [](CommandServices& s, const QString& a) { s.transport->onRepeat(a); },
         Arg::Flag,
         Menu | Web | DBus | Mpris,
         canRepeat,
         true,
         {{"Wiederholen1", "&Wiederholen", "Ctrl+W", nullptr, nullptr, {kPlay, 0, 60, true}},
          {"rept", nullptr, nullptr, nullptr, "Liste wiederholen"}},
         {{"REPEAT", 1}},
         "REPEATING"},
        {"shuffle",
         Service::Transport,
         [](CommandServices& s, const QString& a) { s.transport->onShuffle(a); },
         Arg::Flag,
         Menu | Web | DBus | Mpris,
         canShuffle,
         true,
         {{"Zufllig1", "&Zufällig", "Ctrl+Z", nullptr, nullptr, {kPlay, 0, 70}},
          {"shuf", nullptr, nullptr, nullptr, "Zufällige Wiedergabe"}},
         {{"SHUFFLE", 1}},
         "SHUFFLED"},
        {"seek", Service::Transport,
         [](CommandServices& s, const QString& a) { s.transport->onSeek(a.toInt()); }, Arg::Number,
         Menu | Mpris, canSeek},
        {"search",
         Service::Window,
         [](CommandServices& s, const QString& a) { s.window->onSearch(a); },
         Arg::Text,
         DBus,
         canSearch,
         false,
         {},
         {},
         "SEARCH"},
        {"playall",
         Service::Remote,
         [](CommandServices& s, const QString& a) { s.remote->onPlayAll(a); },
         Arg::Text,
         DBus,
         canSearch,
         false,
         {},
         {},
         "PLAYALL"},
        {"quicksearch", Service::Window,
         [](CommandServices& s, const QString&) { s.window->onQuickSearch(); }, Arg::None, Menu,
         searchExists},
        {"selectall",
         Service::Window,
         [](CommandServices& s, const QString&) { s.window->onSelectAll(); },
         Arg::None,
         Menu,
         hasItems,
         false,
         {{"Allesmarkieren1", "Alles &markieren", "Ctrl+A", nullptr, nullptr, {kList, 0, 30}},
          {"Allesmarkieren2", "Alles &markieren\tCtrl+A"}}},
        {"refreshlist",
         Service::Window,
         [](CommandServices& s, const QString&) { s.window->onRefreshList(); },
         Arg::None,
         Menu,
         nullptr,
         false,
         {{"Aktualisieren1", "&Aktualisieren", nullptr, nullptr, nullptr, {kList, 0, 10, true}}}},
        {"arrangeicons",
         Service::Window,
         [](CommandServices& s, const QString&) { s.window->onArrangeIcons(); },
         Arg::None,
         Menu,
         showsIcons,
         false,
         {{"AmRasterausrichten1",
           "Am &Raster ausrichten",
           nullptr,
           nullptr,
           nullptr,
           {kList, 0, 20}}}},
        {"remember",
         Service::Lists,
         [](CommandServices& s, const QString& a) { s.lists->onRemember(a); },
         Arg::TitleLines,
         Menu,
         canRemember,
         false,
         {{"Merken1", "&Merken", "Ins", nullptr, nullptr, {kFile, 0, 30}},
          {"Titelhinzufgen1", "Titel &hinzufügen", nullptr, nullptr, nullptr, {kFile, 0, 20}},
          {"Titelhinzufgen2", "Titel &hinzufügen\tIns"},
          {"Merken2", "&Merken\tIns"}}},
        {"removetitle",
         Service::Lists,
         [](CommandServices& s, const QString&) { s.lists->onRemoveTitle(); },
         Arg::None,
         Menu,
         canRemoveTitle,
         false,
         {{"Titelentfernen1", "Titel &entfernen"}, {"Titelentfernen2", "Titel &entfernen"}}},
        {"clearbrainlist",
         Service::Lists,
         [](CommandServices& s, const QString&) { s.lists->onClearBrainList(); },
         Arg::None,
         Web,
         merkzettelFilled,
         false,
         {},
         {{"CLEARBRAINLIST", 1}}},
        {"savebrainlist",
         Service::Lists,
         [](CommandServices& s, const QString&) { s.lists->onSaveBrainList(); },
         Arg::None,
         Menu | Web,
         merkzettelFilled,
         false,
         {{"ZumWeitergebenspeichern1",
           "&Zum Weitergeben speichern...",
           nullptr,
           nullptr,
           nullptr,
           {kNotes, 0, 10}},
          {"ZumWeitergebenspeichern2", "&Zum Weitergeben speichern..."}},
         {{"SAVEBRAINLIST", 1}}},
        {"mailbrainlist",
         Service::Lists,
         [](CommandServices& s, const QString&) { s.lists->onMailBrainList(); },
         Arg::None,
         Menu | Web,
         canMail,
         false,
         {{"PereMailverschicken1",
           "&Per e-Mail verschicken...",
           nullptr,
           nullptr,
           nullptr,
           {kNotes, 0, 20}},
          {"PereMailverschicken2", "&Per e-Mail verschicken..."}},
         {{"MAILBRAINLIST", 1}}},
        {"copy",
         Service::Copy,
         [](CommandServices& s, const QString& a) { s.copy->onCopy(a); },
         Arg::TitleLines,
         Menu,
         canCopy,
         false,
         {{"InZielordnerkopieren1",
           "In &Zielordner kopieren",
           "Ctrl+K",
           nullptr,
           nullptr,
           {kFile, 0, 40}},
          {"InZielordnerkopieren2", "In &Zielordner kopieren\tCtrl+K"},
          {"copy_btn", "&Kopieren", nullptr, nullptr, "In den Zielordner kopieren"}}},
        {"burn",
         Service::Copy,
         [](CommandServices& s, const QString&) { s.copy->onBurn(); },
         Arg::None,
         Menu,
         canCopy,
         false,
         {{"burn_btn", "&Brennen...", nullptr, nullptr, "Auf CD schreiben"}}},
        {"properties",
         Service::Statistics,
         [](CommandServices& s, const QString& a) { s.statistics->onProperties(a); },
         Arg::TitleLine,
         Menu,
         oneSelected,
         false,
         {{"Eigenschaften2", "&Eigenschaften...", nullptr, nullptr, nullptr, {kFile, 0, 50}},
          {"Eigenschaften1", "&Eigenschaften..."}}},
        {"titleproperties",
         Service::Statistics,
         [](CommandServices& s, const QString& a) { s.statistics->onTitleProperties(a); },
         Arg::TitleLine,
         Web,
         nullptr,
         false,
         {},
         {{"PROPERTIES", 1}}},
        {"playingproperties",
         Service::Statistics,
         [](CommandServices& s, const QString&) { s.statistics->onPlayingProperties(); },
         Arg::None,
         Web,
         isPlaying,
         false,
         {},
         {{"PLAYINGPROPERTIES", 0}}},
        {"options",
         Service::Options,
         [](CommandServices& s, const QString& a) { s.options->onOptions(a.toInt()); },
         Arg::Number,
         Menu | Web,
         wasShown,
         false,
         {{"Profileverwalten1", "&Profile verwalten...", nullptr, "0", nullptr, {kOptions, 0, 10}},
          {"Klngendern1", "&Klänge ändern...", nullptr, "1", nullptr, {kOptions, 0, 20}},
          {"Suchverhalten1", "&Suchverhalten...", nullptr, "2", nullptr, {kOptions, 0, 30}},
          {"Befehleanpassen1", "&Befehle anpassen...", nullptr, "3", nullptr, {kOptions, 0, 40}},
          {"Streaming1", "S&treaming...", nullptr, "4", nullptr, {kOptions, 0, 50}},
          {"Sonstiges1", "S&onstiges...", nullptr, "5", nullptr, {kOptions, 0, 60}},
          {"Einstellungen1", "&Einstellungen...", nullptr, "4"},
          {"newprof", nullptr, nullptr, "0"},
          {"opt_btn", "Einste&llen", nullptr, "3"}},
         {{"OPTIONS", 2}}},
        {"statistics",
         Service::Statistics,
         [](CommandServices& s, const QString&) { s.statistics->onStatistics(); },
         Arg::None,
         Menu | Web,
         nullptr,
         false,
         {{"Statistik1", "&Statistik...", nullptr, nullptr, nullptr, {kFile, 0, 70}},
          {"stat_btn", "&Statistik zeigen"}},
         {{"STATISTICS", 2}}},
        {"about",
         Service::Statistics,
         [](CommandServices& s, const QString&) { s.statistics->onAbout(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"ABOUT", 2}}},
        {"connections",
         Service::Statistics,
         [](CommandServices& s, const QString&) { s.statistics->onConnections(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"CONNECTIONS", 2}}},
        {"listeners",
         Service::Statistics,
         [](CommandServices& s, const QString&) { s.statistics->onListeners(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"LISTENERS", 2}}},
        {"watchstream",
         Service::Statistics,
         [](CommandServices& s, const QString&) { s.statistics->onListeners(); },
         Arg::None,
         Menu,
         streamingOn,
         false,
         {{"Zuhrer1", "&Zuhörer..."}}},
        {"volume",
         Service::Playback,
         [](CommandServices& s, const QString&) { s.playback->onVolume(); },
         Arg::None,
         Menu | Web,
         nullptr,
         false,
         {{"Lautstrke1", "&Lautstärke", "F10", nullptr, nullptr, {kPlay, 1, 10, true}},
          {"vol_btn", "A&npassen"}},
         {{"VOLUME", 2}}},
        {"setvolume", Service::Playback,
         [](CommandServices& s, const QString& a) { s.playback->onSetVolume(a.toInt()); },
         Arg::Number, Mpris},
        {"showplaylist",
         Service::Playback,
         [](CommandServices& s, const QString&) { s.playback->onShowPlaylist(); },
         Arg::None,
         Menu | Web,
         nullptr,
         false,
         {{"Wiedergabeliste1", "W&iedergabeliste", "F11", nullptr, nullptr, {kPlay, 1, 20, true}}},
         {{"PLAYLIST", 2}}},
        {"reload",
         Service::Window,
         [](CommandServices& s, const QString&) { s.window->onReload(); },
         Arg::None,
         Menu | Socket,
         nullptr,
         false,
         {{"DatentrgerListenneueinlesen1",
           "M&edien neu einlesen",
           "Ctrl+R",
           nullptr,
           nullptr,
           {kFile, 0, 60, true}},
          {"reload_btn", "Medien ne&u einlesen"}}},
        {"raise",
         Service::Window,
         [](CommandServices& s, const QString&) { s.window->onRaise(); },
         Arg::None,
         Socket | DBus | Mpris,
         nullptr,
         false,
         {},
         {},
         nullptr,
         0},
        {"quit",
         Service::Window,
         [](CommandServices& s, const QString&) { s.window->onQuit(); },
         Arg::None,
         Menu | Mpris,
         nullptr,
         false,
         {{"Beenden1", "&Beenden", "Ctrl+Q", nullptr, nullptr, {kFile, 0, 80, true}}}},
        {"playtitles",
         Service::Web,
         [](CommandServices& s, const QString& a) { s.web->onPlayTitles(a); },
         Arg::TitleLines,
         Web,
         nullptr,
         false,
         {},
         {{"PLAY", 1}}},
        {"copytitles",
         Service::Web,
         [](CommandServices& s, const QString& a) { s.web->onCopyTitles(a); },
         Arg::TitleLines,
         Web,
         nullptr,
         false,
         {},
         {{"COPY", 1}, {"ACTION", 1}}},
        {"burntitles",
         Service::Web,
         [](CommandServices& s, const QString&) { s.web->onBurnTitles(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"BURN", 1}, {"ACTION", 1}}},
        {"remembertitles",
         Service::Web,
         [](CommandServices& s, const QString& a) { s.web->onRememberTitles(a); },
         Arg::TitleLines,
         Web,
         nullptr,
         false,
         {},
         {{"REMEMBER", 1}}},
        {"rootlist",
         Service::Web,
         [](CommandServices& s, const QString&) { s.web->onRootList(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"ROOTLIST", 2}}},
        {"medialist",
         Service::Web,
         [](CommandServices& s, const QString&) { s.web->onMediaList(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"MEDIALIST", 2}}},
        {"alphalist",
         Service::Web,
         [](CommandServices& s, const QString&) { s.web->onAlphaList(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"ALPHALIST", 2}}},
        {"brainlist",
         Service::Web,
         [](CommandServices& s, const QString&) { s.web->onBrainList(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"BRAINLIST", 2}}},
        {"showbrainlist",
         Service::Web,
         [](CommandServices& s, const QString&) { s.web->onShowBrainList(); },
         Arg::None,
         Web,
         nullptr,
         false,
         {},
         {{"SHOWBRAINLIST", 2}}},
        {"webview",
         Service::Web,
         [](CommandServices& s, const QString& a) { s.web->onWebView(a); },
         Arg::Flag,
         Menu,
         nullptr,
         true,
         {{"Browser1", "&Webansicht verwenden", nullptr, nullptr, nullptr, {kView, 0, 10, true}}}},
    };
}

bool isTitleLine(const QString& line) {
    return !line.trimmed().isEmpty() && !indexfile::hasControlCharacter(line);
}

} // namespace

bool provided(const CommandServices& s, Service service) {
    switch (service) {
    case Service::Transport:
        return s.transport;
    case Service::Window:
        return s.window;
    case Service::Playback:
        return s.playback;
    case Service::Lists:
        return s.lists;
    case Service::Copy:
        return s.copy;
    case Service::Statistics:
        return s.statistics;
    case Service::Options:
        return s.options;
    case Service::Remote:
        return s.remote;
    case Service::Web:
        return s.web;
    }
    return false;
}

const std::vector<Descriptor>& all() {
    static const std::vector<Descriptor> table = makeCatalogue();
    return table;
}

const std::vector<const char*>& menuBar() {
    static const std::vector<const char*> menus = {kFile, kView, kList, kPlay, kNotes, kOptions};
    return menus;
}

namespace {
// Placed items by menu (menu bar order; unknown menus last), section and order, each
// with the separator it asks for.
std::vector<MenuEntry> makeMenuLayout() {
    struct Item {
        int menu;
        const Placement* placement;
    };
    const auto rank = [](const char* menu) {
        const std::vector<const char*>& bar = menuBar();
        int i = 0;
        while (i < int(bar.size()) && qstrcmp(bar[size_t(i)], menu) != 0)
            ++i;
        return i;
    };
    std::vector<Item> items;
    for (const Descriptor& d : all())
        for (const Placement& p : d.items)
            if (p.place.menu) items.push_back({rank(p.place.menu), &p});
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        const MenuPlace& x = a.placement->place;
        const MenuPlace& y = b.placement->place;
        if (a.menu != b.menu) return a.menu < b.menu;
        if (a.menu == int(menuBar().size()) && qstrcmp(x.menu, y.menu) != 0)
            return qstrcmp(x.menu, y.menu) < 0;
        return std::tie(x.section, x.order) < std::tie(y.section, y.order);
    });
    std::vector<MenuEntry> layout;
    for (const Item& item : items) {
        const MenuPlace& place = item.placement->place;
        if (place.separatorBefore) layout.push_back({place.menu, place.section, nullptr});
        layout.push_back({place.menu, place.section, item.placement->objectName});
    }
    return layout;
}
} // namespace

const std::vector<MenuEntry>& menuLayout() {
    static const std::vector<MenuEntry> layout = makeMenuLayout();
    return layout;
}

namespace {
bool same(QAnyStringView a, QAnyStringView b, Qt::CaseSensitivity cs = Qt::CaseSensitive) {
    return QAnyStringView::compare(a, b, cs) == 0;
}
} // namespace

const Descriptor* find(QAnyStringView name) {
    for (const Descriptor& d : all())
        if (same(name, QLatin1String(d.name), Qt::CaseInsensitive)) return &d;
    return nullptr;
}

const Placement* placement(QAnyStringView objectName, const Descriptor** owner) {
    for (const Descriptor& d : all())
        for (const Placement& p : d.items)
            if (same(objectName, QLatin1String(p.objectName))) {
                if (owner) *owner = &d;
                return &p;
            }
    return nullptr;
}

ArgumentCheck checkArgument(Arg kind, const QString& argument) {
    const QString a = argument.trimmed();
    switch (kind) {
    case Arg::None:
        return {true, QString()};
    case Arg::Count: {
        if (a.isEmpty()) return {true, QStringLiteral("1")};
        bool ok = false;
        const int n = a.toInt(&ok);
        if (!ok || n < 1) return {};
        return {true, QString::number(n)};
    }
    case Arg::Flag: {
        const QString l = a.toLower();
        if (l.isEmpty()) return {true, QString()};
        if (l == u"1" || l == u"yes" || l == u"on" || l == u"true")
            return {true, QStringLiteral("1")};
        if (l == u"0" || l == u"no" || l == u"off" || l == u"false")
            return {true, QStringLiteral("0")};
        return {};
    }
    case Arg::Number: {
        if (a.isEmpty()) return {true, QStringLiteral("0")};
        bool ok = false;
        const int n = a.toInt(&ok);
        if (!ok || n < 0) return {};
        return {true, QString::number(n)};
    }
    case Arg::Text:
        if (indexfile::hasControlCharacter(argument)) return {};
        return {true, argument};
    case Arg::TitleLine:
        if (!argument.isEmpty() && !isTitleLine(argument)) return {};
        return {true, argument};
    case Arg::TitleLines: {
        if (argument.isEmpty()) return {true, argument};
        // At least one entry must be a title line.
        for (const QString& part : argument.split(u'&', Qt::SkipEmptyParts))
            if (isTitleLine(QUrl::fromPercentEncoding(part.toUtf8()))) return {true, argument};
        return {};
    }
    }
    return {};
}

QStringList webWords(int group) {
    QStringList words;
    for (const Descriptor& d : all())
        for (const WebWord& w : d.webWords)
            if (w.group == group && !words.contains(QLatin1String(w.word)))
                words << QLatin1String(w.word);
    return words;
}

QString commandForWebWord(QAnyStringView word, const UiState& state) {
    // ACTION is whichever of the copy and burn buttons shows.
    if (same(word, u"ACTION"))
        return QLatin1String(state.copyMode == 2 ? "burntitles" : "copytitles");
    for (const Descriptor& d : all())
        for (const WebWord& w : d.webWords)
            if (same(word, QLatin1String(w.word))) return QLatin1String(d.name);
    return {};
}

QStringList pokeItems() {
    QStringList items;
    for (const Descriptor& d : all())
        if (d.pokeItem && !items.contains(QLatin1String(d.pokeItem)))
            items << QLatin1String(d.pokeItem);
    return items;
}

QString commandForPoke(QAnyStringView item, QAnyStringView value) {
    for (const Descriptor& d : all()) {
        if (!d.pokeItem || !same(item, QLatin1String(d.pokeItem), Qt::CaseInsensitive)) continue;
        if (!same(item, u"COMMAND", Qt::CaseInsensitive) ||
            same(value, QLatin1String(d.name), Qt::CaseInsensitive))
            return QLatin1String(d.name);
    }
    return {};
}

QString commandForSocketCode(int code) {
    if (code < 0) return {};
    for (const Descriptor& d : all())
        if (d.socketCode == code) return QLatin1String(d.name);
    return {};
}

QString argumentName(Arg kind) {
    switch (kind) {
    case Arg::None:
        return QStringLiteral("—");
    case Arg::Count:
        return QStringLiteral("count");
    case Arg::Flag:
        return QStringLiteral("on/off");
    case Arg::Number:
        return QStringLiteral("number");
    case Arg::Text:
        return QStringLiteral("text");
    case Arg::TitleLine:
        return QStringLiteral("title line");
    case Arg::TitleLines:
        return QStringLiteral("title lines");
    }
    return {};
}

QStringList frontEndNames(FrontEnds frontEnds) {
    QStringList names;
    const std::pair<FrontEnd, const char*> all[] = {
        {Menu, "menu"}, {Socket, "socket"}, {Web, "web"}, {DBus, "D-Bus"}, {Mpris, "MPRIS"}};
    for (const auto& [bit, name] : all)
        if (frontEnds & bit) names << QLatin1String(name);
    return names;
}

} // namespace commandcatalogue
