// The command descriptors, the central argument check, the run results and the rules
// as pure functions of the state; without a window.
#include "browser_commands.h"
#include "command_catalogue.h"
#include "commands.h"
#include "topic_items.h"

#include <QHash>
#include <QSet>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using commandcatalogue::Arg;
namespace cc = commandcatalogue;
using uistate::NodeKind;

// A catalogue table whose state comes from `state`; every command counts its runs.
struct Fixture {
    QObject owner;
    UiState state;
    CommandTable table{CommandTable::Catalogue};
    QStringList ran;
    Fixture() {
        table.addStateSource(&owner, [this](UiState& s) { s = state; });
        for (const cc::Descriptor& d : cc::all()) {
            const QString name = QLatin1String(d.name);
            table.add(name, [this, name](const QString& a) { ran << name + u'=' + a; });
        }
    }
};

// Every service at once; each call is written down as "service.method(argument)".
struct Recorder final : TransportCommands,
                        WindowCommands,
                        PlaybackCommands,
                        ListsCommands,
                        CopyCommands,
                        StatisticsCommands,
                        OptionsCommands,
                        RemoteCommands,
                        WebCommands {
    QStringList calls;
    void note(const char* service, const char* method, const QString& arg = {}) {
        calls
            << QStringLiteral("%1.%2(%3)").arg(QLatin1String(service), QLatin1String(method), arg);
    }
    void onPlay() override { note("transport", "play"); }
    void onPlaySelection() override { note("transport", "playSelection"); }
    void onPause() override { note("transport", "pause"); }
    void onStop() override { note("transport", "stop"); }
    void onPrev(int n) override { note("transport", "prev", QString::number(n)); }
    void onNext(int n) override { note("transport", "next", QString::number(n)); }
    void onRepeat(const QString& f) override { note("transport", "repeat", f); }
    void onShuffle(const QString& f) override { note("transport", "shuffle", f); }
    void onSeek(int s) override { note("transport", "seek", QString::number(s)); }
    void onRaise() override { note("window", "raise"); }
    void onReload() override { note("window", "reload"); }
    void onQuit() override { note("window", "quit"); }
    void onSelectAll() override { note("window", "selectAll"); }
    void onRefreshList() override { note("window", "refreshList"); }
    void onArrangeIcons() override { note("window", "arrangeIcons"); }
    void onSearch(const QString& t) override { note("window", "search", t); }
    void onQuickSearch() override { note("window", "quickSearch"); }
    void onVolume() override { note("playback", "volume"); }
    void onSetVolume(int p) override { note("playback", "setVolume", QString::number(p)); }
    void onShowPlaylist() override { note("playback", "showPlaylist"); }
    void onRemember(const QString& s) override { note("lists", "remember", s); }
    void onRemoveTitle() override { note("lists", "removeTitle"); }
    void onClearBrainList() override { note("lists", "clear"); }
    void onSaveBrainList() override { note("lists", "save"); }
    void onMailBrainList() override { note("lists", "mail"); }
    void onCopy(const QString& s) override { note("copy", "copy", s); }
    void onBurn() override { note("copy", "burn"); }
    void onStatistics() override { note("statistics", "statistics"); }
    void onAbout() override { note("statistics", "about"); }
    void onConnections() override { note("statistics", "connections"); }
    void onListeners() override { note("statistics", "listeners"); }
    void onProperties(const QString& l) override { note("statistics", "properties", l); }
    void onTitleProperties(const QString& l) override { note("statistics", "titleProperties", l); }
    void onPlayingProperties() override { note("statistics", "playingProperties"); }
    void onOptions(int p) override { note("options", "options", QString::number(p)); }
    void onPlayAll(const QString& t) override { note("remote", "playAll", t); }
    void onPlayTitles(const QString& s) override { note("web", "playTitles", s); }
    void onCopyTitles(const QString& s) override { note("web", "copyTitles", s); }
    void onBurnTitles() override { note("web", "burnTitles"); }
    void onRememberTitles(const QString& s) override { note("web", "rememberTitles", s); }
    void onRootList() override { note("web", "rootList"); }
    void onMediaList() override { note("web", "mediaList"); }
    void onAlphaList() override { note("web", "alphaList"); }
    void onBrainList() override { note("web", "brainList"); }
    void onShowBrainList() override { note("web", "showBrainList"); }
    void onWebView(const QString& f) override { note("web", "webView", f); }

    // Only the one service, the others missing.
    CommandServices only(cc::Service service) {
        CommandServices s;
        switch (service) {
        case cc::Service::Transport:
            s.transport = this;
            break;
        case cc::Service::Window:
            s.window = this;
            break;
        case cc::Service::Playback:
            s.playback = this;
            break;
        case cc::Service::Lists:
            s.lists = this;
            break;
        case cc::Service::Copy:
            s.copy = this;
            break;
        case cc::Service::Statistics:
            s.statistics = this;
            break;
        case cc::Service::Options:
            s.options = this;
            break;
        case cc::Service::Remote:
            s.remote = this;
            break;
        case cc::Service::Web:
            s.web = this;
            break;
        }
        return s;
    }
};

const char* serviceName(cc::Service service) {
    const char* names[] = {"transport",  "window",  "playback", "lists", "copy",
                           "statistics", "options", "remote",   "web"};
    return names[int(service)];
}

// A command is its descriptor and its handler: each handler calls its own service once,
// with the argument in its checked form, and the table has the command exactly while
// that service is there.
TEST(CommandHandlers, EveryDescriptorsHandlerCallsItsServiceOnly) {
    const std::pair<Arg, const char*> samples[] = {
        {Arg::None, ""},       {Arg::Count, "3"},   {Arg::Flag, "1"},
        {Arg::Number, "42"},   {Arg::Text, "Band"}, {Arg::TitleLine, "CD1:\\a.mp3"},
        {Arg::TitleLines, "x"}};
    QSet<QString> calls;
    for (const cc::Descriptor& d : cc::all()) {
        ASSERT_NE(d.handler, nullptr) << d.name;
        QString argument;
        for (const auto& [kind, sample] : samples)
            if (kind == d.argument) argument = QLatin1String(sample);
        Recorder r;
        CommandServices services = r.only(d.service);
        ASSERT_TRUE(cc::provided(services, d.service)) << d.name;
        d.handler(services, argument);
        ASSERT_EQ(r.calls.size(), 1) << d.name;
        const QString call = r.calls.first();
        EXPECT_TRUE(call.startsWith(QLatin1String(serviceName(d.service)) + u'.')) << d.name;
        if (d.argument != Arg::None) {
            EXPECT_TRUE(call.endsWith(u'(' + argument + u')'))
                << d.name << ' ' << call.toStdString();
        }
        // Two commands share a call only as "watchstream" shares the listener window.
        calls << call;

        // In a table: missing without its service, there with it, gone when withdrawn.
        QObject owner;
        CommandTable table(CommandTable::Catalogue);
        const QString name = QLatin1String(d.name);
        EXPECT_FALSE(table.contains(name)) << d.name;
        EXPECT_EQ(table.run(name).status, CommandResult::Unknown) << d.name;
        table.setServices(services);
        EXPECT_TRUE(table.contains(name)) << d.name;
        EXPECT_TRUE(table.names().contains(name)) << d.name;
        table.setServices({});
        EXPECT_FALSE(table.contains(name)) << d.name;
    }
    EXPECT_EQ(calls.size(), qsizetype(cc::all().size()) - 1);
}

// Providing and withdrawing announce the commands that come and go; a withdraw by an
// owner that was replaced changes nothing.
TEST(CommandHandlers, ServicesComeAndGoWithTheirOwners) {
    Recorder first, second;
    CommandTable table(CommandTable::Catalogue);
    QSignalSpy changed(&table, &CommandTable::enabledChanged);
    table.provide<RemoteCommands>(&CommandServices::remote, &first);
    ASSERT_EQ(changed.count(), 0); // playall's rule wants the quick search
    table.provide<WebCommands>(&CommandServices::web, &first);
    EXPECT_TRUE(table.isEnabled(QStringLiteral("rootlist")));
    const int webCommands = int(changed.count());
    EXPECT_EQ(webCommands, 10);
    table.provide<WebCommands>(&CommandServices::web, &second);
    table.withdraw<WebCommands>(&CommandServices::web, &first);
    EXPECT_EQ(changed.count(), webCommands);
    ASSERT_TRUE(table.run(QStringLiteral("rootlist"), {}, cc::Web));
    EXPECT_EQ(second.calls, QStringList{"web.rootList()"});
    EXPECT_TRUE(first.calls.isEmpty());
    table.withdraw<WebCommands>(&CommandServices::web, &second);
    EXPECT_EQ(changed.count(), 2 * webCommands);
    EXPECT_FALSE(table.isEnabled(QStringLiteral("rootlist")));
    EXPECT_TRUE(table.contains(QStringLiteral("playall")));
}

TEST(CommandRun, ResultsSayWhyACommandWasRefused) {
    Fixture f;
    f.state.transport.session = true; // the first of two titles
    f.state.transport.titles = 2;
    struct Case {
        const char* name;
        const char* argument;
        cc::FrontEnd from;
        CommandResult::Status status;
        const char* ran; // the handler's argument, when it ran
    } cases[] = {
        {"next", "", cc::Program, CommandResult::Ran, "next=1"},
        {"NEXT", " 3 ", cc::Socket, CommandResult::Ran, "next=3"},
        {"nothing", "", cc::Program, CommandResult::Unknown, nullptr},
        {"", "", cc::Menu, CommandResult::Unknown, nullptr},
        {"next", "", cc::Menu, CommandResult::Ran, "next=1"},
        {"quit", "", cc::Web, CommandResult::NotAllowed, nullptr},
        {"playall", "x", cc::Menu, CommandResult::NotAllowed, nullptr},
        {"prev", "", cc::Program, CommandResult::Disabled, nullptr},
        {"next", "zwei", cc::Web, CommandResult::BadArgument, nullptr},
        {"next", "0", cc::Web, CommandResult::BadArgument, nullptr},
        {"statistics", "egal", cc::Web, CommandResult::Ran, "statistics="},
    };
    for (const Case& c : cases) {
        f.ran.clear();
        const CommandResult r =
            f.table.run(QLatin1String(c.name), QLatin1String(c.argument), c.from);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.ran(), c.status == CommandResult::Ran) << c.name;
        // A refusal has a German reason naming the command; check() answers the same.
        EXPECT_EQ(r.reason.isEmpty(), r.ran()) << c.name;
        if (!r.ran()) {
            EXPECT_TRUE(r.reason.contains(QLatin1String(c.name), Qt::CaseInsensitive)) << c.name;
            EXPECT_TRUE(f.ran.isEmpty()) << c.name;
        } else {
            EXPECT_EQ(f.ran, QStringList{QLatin1String(c.ran)}) << c.name;
        }
        EXPECT_EQ(f.table.check(QLatin1String(c.name), QLatin1String(c.argument), c.from).status,
                  c.status)
            << c.name;
    }
    // Different refusals give different reasons.
    QSet<QString> reasons;
    for (const auto& [name, arg, from] :
         {std::tuple{"nothing", "", cc::Program}, std::tuple{"quit", "", cc::Web},
          std::tuple{"prev", "", cc::Program}, std::tuple{"next", "x", cc::Web}})
        reasons << f.table.check(QLatin1String(name), QLatin1String(arg), from)
                       .reason.remove(QLatin1String(name));
    EXPECT_EQ(reasons.size(), 4);
}

TEST(CommandRun, ArgumentsAreCheckedOnceByTheirKind) {
    struct Case {
        Arg kind;
        const char* input;
        bool ok;
        const char* value;
    } cases[] = {
        {Arg::None, "", true, ""},
        {Arg::None, "1", true, ""},
        {Arg::Count, "", true, "1"},
        {Arg::Count, " 12 ", true, "12"},
        {Arg::Count, "0", false, ""},
        {Arg::Count, "-2", false, ""},
        {Arg::Count, "2x", false, ""},
        {Arg::Flag, "", true, ""},
        {Arg::Flag, "YES", true, "1"},
        {Arg::Flag, "on", true, "1"},
        {Arg::Flag, "true", true, "1"},
        {Arg::Flag, "Off", true, "0"},
        {Arg::Flag, "no", true, "0"},
        {Arg::Flag, "maybe", false, ""},
        {Arg::Number, "", true, "0"},
        {Arg::Number, "42", true, "42"},
        {Arg::Number, "-1", false, ""},
        {Arg::Number, "4.5", false, ""},
        {Arg::Text, "Beatles Help", true, "Beatles Help"},
        {Arg::Text, "zwei\nZeilen", false, ""},
        {Arg::TitleLine, "", true, ""},
        {Arg::TitleLine, "CD1:\\a.mp3", true, "CD1:\\a.mp3"},
        {Arg::TitleLine, "CD1:\\a\r.mp3", false, ""},
        {Arg::TitleLine, "   ", false, ""},
        {Arg::TitleLines, "", true, ""},
        {Arg::TitleLines, "CD1:%5Ca.mp3&CD1:%5Cb.mp3", true, "CD1:%5Ca.mp3&CD1:%5Cb.mp3"},
        {Arg::TitleLines, "%0A&%20", false, ""},
        {Arg::TitleLines, "&&", false, ""},
    };
    for (const Case& c : cases) {
        const cc::ArgumentCheck r = cc::checkArgument(c.kind, QString::fromUtf8(c.input));
        EXPECT_EQ(r.ok, c.ok) << int(c.kind) << ' ' << c.input;
        if (r.ok) {
            EXPECT_EQ(r.value, QString::fromUtf8(c.value)) << c.input;
        }
    }
    // The table hands the checked form to the handler.
    Fixture f;
    f.state.transport.session = true;
    ASSERT_TRUE(f.table.run(QStringLiteral("repeat"), QStringLiteral(" Yes "), cc::Web));
    EXPECT_EQ(f.ran, QStringList{"repeat=1"});
}

// The list rules over the selection and the node, as the menus show them.
TEST(CommandRules, ListCommandsFollowSelectionNodeAndCopyState) {
    struct Case {
        int selected;
        int items;
        NodeKind node;
        const char* destination;
        bool copyRunning;
        bool selectAll, properties, copy, remember, removeTitle;
    } cases[] = {
        {0, 2, NodeKind::Other, "Ziel", false, true, false, false, false, false},
        {1, 2, NodeKind::Other, "Ziel", false, true, true, true, true, false},
        {2, 2, NodeKind::Other, "Ziel", false, true, false, true, true, false},
        {2, 2, NodeKind::Playlist, "Ziel", false, true, false, true, true, false},
        {1, 1, NodeKind::Merkzettel, "Ziel", false, true, true, true, false, true},
        {1, 1, NodeKind::Other, "Ziel", true, true, true, false, true, false},
        {1, 1, NodeKind::Other, "", false, true, true, false, true, false},
        {1, 1, NodeKind::Other, "  ", false, true, true, false, true, false},
        {0, 0, NodeKind::Other, "Ziel", false, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        UiState s;
        s.viewsExist = true;
        s.selected = c.selected;
        s.listItems = c.items;
        s.node = c.node;
        s.destination = QLatin1String(c.destination);
        s.copyRunning = c.copyRunning;
        const std::pair<const char*, bool> expected[] = {
            {"selectall", c.selectAll}, {"properties", c.properties},
            {"copy", c.copy},           {"burn", c.copy},
            {"remember", c.remember},   {"removetitle", c.removeTitle}};
        for (const auto& [name, on] : expected)
            EXPECT_EQ(cc::find(QLatin1String(name))->rule(s), on)
                << name << " selected " << c.selected << " node " << int(c.node);
    }
}

// The transport rules over the player's facts, as its buttons show them.
TEST(CommandRules, TransportFollowsThePlayersFacts) {
    struct Case {
        uistate::Transport t;
        const char* enabled; // play pause stop prev next repeat shuffle seek playingproperties
    } cases[] = {
        {{}, "000000000"},
        {{.selection = true}, "100000000"},
        {{.selection = true, .playlistShown = true}, "000000000"},
        // A play on an empty selection: only the switches.
        {{.session = true}, "000001000"},
        {{.session = true, .begun = true, .titles = 1}, "001001000"},
        {{.session = true, .begun = true, .open = true, .running = true, .titles = 1}, "011001011"},
        // Paused: no seek.
        {{.session = true, .begun = true, .open = true, .titles = 3, .position = 1}, "011111100"},
        {{.session = true, .begun = true, .titles = 3, .position = 2}, "001101100"},
        {{.session = true, .begun = true, .titles = 3, .position = 2, .repeat = true}, "001111100"},
        {{.session = true, .titles = 2, .repeat = true}, "000111100"},
        // A stop ends the session whatever the playlist kept.
        {{.titles = 3, .position = 1, .repeat = true}, "000000000"},
    };
    const char* names[] = {
        "play", "pause", "stop", "prev", "next", "repeat", "shuffle", "seek", "playingproperties"};
    for (const Case& c : cases) {
        UiState s;
        s.transport = c.t;
        QString got;
        for (const char* name : names)
            got += cc::find(QLatin1String(name))->rule(s) ? u'1' : u'0';
        EXPECT_EQ(got, QLatin1String(c.enabled));
    }
}

TEST(CommandRules, RulesArePureFunctionsOfTheState) {
    // A spread of states: each field on its own, and everything on.
    std::vector<UiState> states(1);
    auto with = [&](auto set) {
        UiState s;
        set(s);
        states.push_back(s);
    };
    with([](UiState& s) { s.transport = {true, false, true, true, true, true, 2, 1, true}; });
    with([](UiState& s) { s.selected = 1; });
    with([](UiState& s) { s.windowShown = true; });
    with([](UiState& s) { s.searchReady = true; });
    with([](UiState& s) { s.searchReady = s.busy = true; });
    with([](UiState& s) { s.streamingEnabled = true; });
    with([](UiState& s) { s.merkzettelTitles = 3; });
    with([](UiState& s) { s.merkzettelTitles = 3, s.mailUnderWay = true; });
    with([](UiState& s) { s.viewsExist = s.iconView = true; });
    with([](UiState& s) { s.viewsExist = true, s.listItems = 2; });
    with([](UiState& s) { s.selected = 1, s.node = NodeKind::Merkzettel; });
    with([](UiState& s) { s.selected = 1, s.destination = QStringLiteral("Ziel"); });
    for (const cc::Descriptor& d : cc::all()) {
        if (!d.rule) continue;
        QSet<bool> seen;
        for (const UiState& s : states) {
            const UiState before = s;
            const bool first = d.rule(s);
            EXPECT_EQ(d.rule(s), first) << d.name;
            EXPECT_EQ(s, before) << d.name;
            seen << first;
        }
        // Every rule reads something: some state turns it on, some off.
        EXPECT_EQ(seen.size(), 2) << d.name;
    }

    // Asking the table changes nothing: no announcement, the same state, the same answer.
    Fixture f;
    f.state.transport.selection = true;
    f.table.refresh();
    QSignalSpy changed(&f.table, &CommandTable::enabledChanged);
    const UiState before = f.table.state();
    for (const cc::Descriptor& d : cc::all()) {
        const QString name = QLatin1String(d.name);
        const bool once = f.table.isEnabled(name);
        EXPECT_EQ(f.table.isEnabled(name), once) << d.name;
        EXPECT_EQ(bool(f.table.check(name)), once) << d.name;
    }
    EXPECT_EQ(f.table.state(), before);
    EXPECT_EQ(changed.count(), 0);
    // A change of the state is announced at the next refresh, once.
    f.state.transport.selection = false;
    f.table.refresh();
    f.table.refresh();
    EXPECT_EQ(changed.count(), 2); // play and playselection
}

TEST(CommandCatalogue, EveryFrontEndsListComesFromTheDescriptors) {
    QSet<QString> names, objectNames, webWords;
    QStringList pokes;
    for (const cc::Descriptor& d : cc::all()) {
        const QString name = QLatin1String(d.name);
        EXPECT_FALSE(names.contains(name)) << d.name;
        names << name;
        EXPECT_EQ(cc::find(name.toUpper()), &d);
        for (const cc::Placement& p : d.items) {
            EXPECT_FALSE(objectNames.contains(QLatin1String(p.objectName))) << p.objectName;
            objectNames << QLatin1String(p.objectName);
            const cc::Descriptor* owner = nullptr;
            EXPECT_EQ(cc::placement(QLatin1String(p.objectName), &owner), &p);
            EXPECT_EQ(owner, &d);
            EXPECT_TRUE(d.frontEnds & cc::Menu) << d.name << " has a control but no menu";
            if (p.argument) {
                EXPECT_TRUE(cc::checkArgument(d.argument, QLatin1String(p.argument)).ok)
                    << p.objectName;
            }
        }
        for (const cc::WebWord& w : d.webWords) {
            webWords << QLatin1String(w.word);
            if (w.group == 0) continue;
            EXPECT_TRUE(d.frontEnds & cc::Web) << d.name;
            // The protocol takes the word from a link (group 1 needs parameters for some).
            browsercmd::Protocol protocol;
            protocol.currentLine = [] { return QStringLiteral("CD1:\\a.mp3"); };
            const auto decision =
                protocol.handle(QStringLiteral("vorlune:") + QLatin1String(w.word) +
                                QStringLiteral("?CD1:%5Ca.mp3"));
            EXPECT_FALSE(decision.invocations.isEmpty()) << w.word;
            UiState s;
            for (const browsercmd::Invocation& inv : decision.invocations) {
                const QString command = cc::commandForWebWord(inv.command, s);
                ASSERT_FALSE(command.isEmpty()) << w.word;
                EXPECT_TRUE(cc::find(command)->frontEnds & cc::Web) << w.word;
            }
        }
        if (d.pokeItem) {
            EXPECT_TRUE(d.frontEnds & cc::DBus) << d.name;
            EXPECT_TRUE(TopicItems::acceptsPokes(remote::Topic::Player,
                                                 QString::fromLatin1(d.pokeItem).toLower()));
            const QString value = QLatin1String(d.pokeItem) == QLatin1String("COMMAND")
                                      ? name.toUpper()
                                      : QStringLiteral("x");
            EXPECT_EQ(cc::commandForPoke(QLatin1String(d.pokeItem), value), name);
            pokes << QLatin1String(d.pokeItem);
        }
        if (d.socketCode > 0) {
            EXPECT_TRUE(d.frontEnds & cc::Socket) << d.name;
            EXPECT_EQ(cc::commandForSocketCode(d.socketCode), name);
        }
    }
    // Nothing else: words outside the descriptors are no commands, other items take no
    // pokes.
    browsercmd::Protocol protocol;
    for (const char* word : {"FORMAT", "QUIT", "PLAYINGPROPERTIES", "RAISE"}) {
        EXPECT_TRUE(protocol.handle(QStringLiteral("vorlune:%1?1").arg(QLatin1String(word)))
                        .invocations.isEmpty())
            << word;
    }
    EXPECT_EQ(QSet<QString>(pokes.begin(), pokes.end()),
              QSet<QString>({"COMMAND", "REPEATING", "SHUFFLED", "SEARCH", "PLAYALL"}));
    for (const char* item : {"TRACKSTATUS", "TRACKNUM", "VOLUME"})
        EXPECT_FALSE(TopicItems::acceptsPokes(remote::Topic::Player, QLatin1String(item)));
    EXPECT_TRUE(cc::commandForPoke(u"COMMAND", u"play").isEmpty());
    // ACTION follows the copy mode.
    UiState burning;
    burning.copyMode = 2;
    EXPECT_EQ(cc::commandForWebWord(u"ACTION", UiState()), QStringLiteral("copytitles"));
    EXPECT_EQ(cc::commandForWebWord(u"ACTION", burning), QStringLiteral("burntitles"));
}

// The main menu made from the placements: the entries, order and separators the window
// has always had, every placed item once, and no two items claiming one place.
TEST(CommandCatalogue, MenuLayoutComesFromThePlacements) {
    const char* file = "&Datei";
    const char* view = "&Ansicht";
    const char* list = "&Ansicht/&Dateiliste";
    const char* play = "W&iedergabe";
    const char* notes = "&Merkzettel";
    const char* options = "&Einstellungen";
    const struct {
        const char* menu;
        int section;
        const char* objectName;
    } expected[] = {
        {file, 0, "Wiedergabe3"},
        {file, 0, "Titelhinzufgen1"},
        {file, 0, "Merken1"},
        {file, 0, "InZielordnerkopieren1"},
        {file, 0, "Eigenschaften2"},
        {file, 0, nullptr},
        {file, 0, "DatentrgerListenneueinlesen1"},
        {file, 0, "Statistik1"},
        {file, 0, nullptr},
        {file, 0, "Beenden1"},
        {view, 0, nullptr},
        {view, 0, "Browser1"},
        {list, 0, nullptr},
        {list, 0, "Aktualisieren1"},
        {list, 0, "AmRasterausrichten1"},
        {list, 0, "Allesmarkieren1"},
        {play, 0, "Play1"},
        {play, 0, "Pause1"},
        {play, 0, "Stop1"},
        {play, 0, "VorherigerTitel1"},
        {play, 0, "NchsterTitel1"},
        {play, 0, nullptr},
        {play, 0, "Wiederholen1"},
        {play, 0, "Zufllig1"},
        {play, 1, nullptr},
        {play, 1, "Lautstrke1"},
        {play, 1, nullptr},
        {play, 1, "Wiedergabeliste1"},
        {notes, 0, "ZumWeitergebenspeichern1"},
        {notes, 0, "PereMailverschicken1"},
        {options, 0, "Profileverwalten1"},
        {options, 0, "Klngendern1"},
        {options, 0, "Suchverhalten1"},
        {options, 0, "Befehleanpassen1"},
        {options, 0, "Streaming1"},
        {options, 0, "Sonstiges1"},
    };
    // One line per entry, so that a difference shows where it is.
    const auto line = [](const char* menu, int section, const char* objectName) {
        return QStringLiteral("%1 %2 %3")
            .arg(QString::fromUtf8(menu))
            .arg(section)
            .arg(objectName ? QLatin1String(objectName) : QLatin1String("-"));
    };
    QStringList wanted, made;
    for (const auto& e : expected)
        wanted << line(e.menu, e.section, e.objectName);
    const std::vector<cc::MenuEntry>& layout = cc::menuLayout();
    for (const cc::MenuEntry& e : layout)
        made << line(e.menu, e.section, e.objectName);
    EXPECT_EQ(made.join(u'\n').toStdString(), wanted.join(u'\n').toStdString());

    QHash<QString, int> inLayout;
    for (const cc::MenuEntry& e : layout)
        if (e.objectName) ++inLayout[QLatin1String(e.objectName)];
    QSet<QString> places;
    int placed = 0;
    for (const cc::Descriptor& d : cc::all())
        for (const cc::Placement& p : d.items) {
            const QString name = QLatin1String(p.objectName);
            if (!p.place.menu) {
                EXPECT_FALSE(inLayout.contains(name)) << p.objectName;
                continue;
            }
            ++placed;
            EXPECT_EQ(inLayout.value(name), 1) << p.objectName;
            EXPECT_TRUE(p.caption) << p.objectName << " has no caption for its menu item";
            EXPECT_TRUE(std::any_of(cc::menuBar().begin(), cc::menuBar().end(),
                                    [&](const char* m) { return qstrcmp(m, p.place.menu) == 0; }))
                << p.objectName << " in an unknown menu";
            const QString place = QStringLiteral("%1 %2 %3")
                                      .arg(QString::fromUtf8(p.place.menu))
                                      .arg(p.place.section)
                                      .arg(p.place.order);
            EXPECT_FALSE(places.contains(place)) << p.objectName << " shares " << qPrintable(place);
            places << place;
        }
    EXPECT_EQ(placed, inLayout.size());
}

} // namespace
