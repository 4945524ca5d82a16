#pragma once

#include "command_catalogue.h"
#include "uistate.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The names of the user actions. Menus, buttons, the control socket, web commands and
// remote control all call them through the command table.
namespace cmd {
inline constexpr char Play[] = "play";
inline constexpr char PlaySelection[] = "playselection"; // "&Wiedergabe", "&Play"
inline constexpr char Pause[] = "pause";
inline constexpr char Stop[] = "stop";
inline constexpr char Prev[] = "prev";               // argument: skip count (default 1)
inline constexpr char Next[] = "next";               // argument: skip count (default 1)
inline constexpr char Repeat[] = "repeat";           // argument: "1"/"0", empty toggles
inline constexpr char Shuffle[] = "shuffle";         // argument: "1"/"0", empty toggles
inline constexpr char Search[] = "search";           // argument: the search text
inline constexpr char QuickSearch[] = "quicksearch"; // the input's text (Go!, Enter)
inline constexpr char PlayAll[] = "playall";         // argument: search text whose hits are played
inline constexpr char Seek[] = "seek";               // argument: position in seconds
inline constexpr char SelectAll[] = "selectall";
inline constexpr char RefreshList[] = "refreshlist";   // "&Aktualisieren"
inline constexpr char ArrangeIcons[] = "arrangeicons"; // "Am &Raster ausrichten"
inline constexpr char Remember[] = "remember";
inline constexpr char RemoveTitle[] = "removetitle";
inline constexpr char ClearBrainList[] = "clearbrainlist";
inline constexpr char SaveBrainList[] = "savebrainlist";
inline constexpr char MailBrainList[] = "mailbrainlist";
inline constexpr char Copy[] = "copy";
inline constexpr char Burn[] = "burn";
inline constexpr char Properties[] = "properties";
inline constexpr char PlayingProperties[] = "playingproperties";
inline constexpr char TitleProperties[] = "titleproperties"; // argument: a title line
inline constexpr char Options[] = "options";                 // argument: page number
inline constexpr char Statistics[] = "statistics";
inline constexpr char About[] = "about";
inline constexpr char Connections[] = "connections";
inline constexpr char Listeners[] = "listeners";
inline constexpr char Volume[] = "volume";
inline constexpr char ShowPlaylist[] = "showplaylist";
inline constexpr char Reload[] = "reload";
inline constexpr char Raise[] = "raise";
inline constexpr char Quit[] = "quit";
// Explicit title selections ("&"-separated, percent-encoded title lines), as the web
// view's pages hand them over.
inline constexpr char PlayTitles[] = "playtitles";
inline constexpr char CopyTitles[] = "copytitles";
inline constexpr char BurnTitles[] = "burntitles";
inline constexpr char RememberTitles[] = "remembertitles";
// Selecting a fixed node of the tree.
inline constexpr char RootList[] = "rootlist";
inline constexpr char MediaList[] = "medialist";
inline constexpr char AlphaList[] = "alphalist";
inline constexpr char BrainList[] = "brainlist";
inline constexpr char ShowBrainList[] = "showbrainlist"; // the list, not the page
// "&Webansicht verwenden"; argument "1"/"0", empty toggles.
inline constexpr char WebView[] = "webview";
// "&Zuhörer...": the listener window while streaming is switched on.
inline constexpr char WatchStream[] = "watchstream";
// The device's volume in percent (MPRIS).
inline constexpr char SetVolume[] = "setvolume";
} // namespace cmd

// What run() made of a command: it ran, or why it was refused (with a German reason).
struct CommandResult {
    enum Status { Ran, Unknown, NotAllowed, Disabled, BadArgument };
    Status status = Ran;
    QString reason;
    bool ran() const { return status == Ran; }
    operator bool() const { return ran(); } // NOLINT: reads as "did it run"
};

// One table of user actions: each entry has a handler and a rule that says whether it is
// enabled. A table that uses the catalogue takes every command from its descriptor
// (command_catalogue.h): handler, rule, argument kind and front ends; a command is there
// while the service its handler calls is (provide/withdraw). The rules read a UiState that
// the owners of its parts fill in (addStateSource). A command runs only while its rule
// allows it; a name without an entry (a feature not built) counts as disabled. Owners of
// the state call refresh() after it changed, and bound controls follow enabledChanged.
class CommandTable : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QString& argument)>;
    using Rule = std::function<bool()>;
    using StateSource = std::function<void(UiState&)>;
    using FrontEnd = commandcatalogue::FrontEnd;

    // A plain table: every entry is always enabled unless it brings its own rule.
    explicit CommandTable(QObject* parent = nullptr) : QObject(parent) {}
    // A table whose entries take rule, argument kind and front ends from the catalogue.
    enum UseCatalogue { Catalogue };
    explicit CommandTable(UseCatalogue, QObject* parent = nullptr);

    // The services the descriptors' handlers call: an owner provides its interface while
    // it lives and withdraws it when it goes. Both refresh the table.
    template <class T> void provide(T* CommandServices::*slot, T* service) {
        services_.*slot = service;
        refresh();
    }
    template <class T> void withdraw(T* CommandServices::*slot, T* service) {
        if (services_.*slot != service) return;
        services_.*slot = nullptr;
        refresh();
    }
    const CommandServices& services() const { return services_; }
    void setServices(const CommandServices& services) {
        services_ = services;
        refresh();
    }

    // Adds or replaces an entry of a plain table, or puts an own handler (and rule) in
    // place of a descriptor's (tests); names are compared without regard to case.
    void add(const QString& name, Handler handler);
    void add(const QString& name, Handler handler, Rule ownRule);
    // Takes an added entry or an own handler away.
    void remove(const QString& name);
    bool contains(const QString& name) const;
    QStringList names() const;

    // A part of the state, filled in by `owner` while it lives.
    void addStateSource(QObject* owner, StateSource source);
    // The state as the sources give it now.
    UiState state() const;

    bool isEnabled(const QString& name) const;
    // What run() would answer, without running.
    CommandResult check(const QString& name, const QString& argument = QString(),
                        FrontEnd from = FrontEnd::Program) const;
    // Runs the handler when the command exists, may be called from `from`, is enabled and
    // its argument fits; the handler gets the argument in its checked form.
    CommandResult run(const QString& name, const QString& argument = QString(),
                      FrontEnd from = FrontEnd::Program);

    // Evaluates every rule again and announces the ones that changed.
    void refresh();
    // The owner is going: nothing is evaluated or announced any more (the state sources
    // may be gone already).
    void shutDown() { shutDown_ = true; }

    // The skip count of "next"/"prev" arguments: a positive whole number, else 1.
    static int skipCount(const QString& argument);
    // "1", "yes", "on", "true" and "0", "no", "off", "false" (any case); else `fallback`.
    static bool flag(const QString& argument, bool fallback);

signals:
    void enabledChanged(const QString& name, bool enabled);
    // After a handler ran, with the command's name.
    void ran(const QString& name);

private:
    struct Entry {
        QString name;
        Handler handler; // an own handler; else the descriptor's
        Rule ownRule;
        const commandcatalogue::Descriptor* descriptor = nullptr;
        bool lastEnabled = false;
    };
    // An entry that is there: added with an own handler, or its service provided.
    bool available(const Entry& entry) const;
    const Entry* find(const QString& name) const;
    struct Source {
        QPointer<QObject> owner;
        StateSource fill;
    };
    static QString key(const QString& name) { return name.toLower(); }
    bool evaluate(const Entry& entry, const UiState& state) const;
    CommandResult decide(const QString& name, const QString& argument, FrontEnd from,
                         QString* checked) const;

    QHash<QString, int> index_;
    std::vector<Entry> entries_;
    std::vector<Source> sources_;
    CommandServices services_;
    bool catalogue_ = false;
    bool shutDown_ = false;
    int running_ = 0;
    quint64 refreshRound_ = 0;
};
