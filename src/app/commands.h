#pragma once

#include <QHash>
#include <QObject>
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
inline constexpr char Prev[] = "prev";       // argument: skip count (default 1)
inline constexpr char Next[] = "next";       // argument: skip count (default 1)
inline constexpr char Repeat[] = "repeat";   // argument: "1"/"0", empty toggles
inline constexpr char Shuffle[] = "shuffle"; // argument: "1"/"0", empty toggles
inline constexpr char Search[] = "search";   // argument: the search text
inline constexpr char PlayAll[] = "playall"; // argument: search text whose hits are played
inline constexpr char Seek[] = "seek";       // argument: position in seconds
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
} // namespace cmd

// One table of user actions: each entry has a handler and a rule that says whether it is
// enabled. A command runs only while its rule allows it; a name without an entry (a
// feature not built) counts as disabled. Owners of the state the rules read call
// refresh() after it changed, and bound controls follow enabledChanged.
class CommandTable : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QString& argument)>;
    using Rule = std::function<bool()>;

    explicit CommandTable(QObject* parent = nullptr) : QObject(parent) {}

    // Adds or replaces an entry; names are compared without regard to case. No rule:
    // always enabled.
    void add(const QString& name, Handler handler, Rule enabled = {});
    void remove(const QString& name);
    bool contains(const QString& name) const;
    QStringList names() const;

    bool isEnabled(const QString& name) const;
    // Runs the handler when the command exists and is enabled; returns whether it ran.
    bool run(const QString& name, const QString& argument = QString());

    // Evaluates every rule again and announces the ones that changed.
    void refresh();

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
        Handler handler;
        Rule rule;
        bool lastEnabled = false;
    };
    static QString key(const QString& name) { return name.toLower(); }
    bool evaluate(const Entry& entry) const { return !entry.rule || entry.rule(); }

    QHash<QString, int> index_;
    std::vector<Entry> entries_;
    int running_ = 0;
};
