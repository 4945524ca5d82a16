#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The "vorlune:" links of the web view's pages: which template a navigation asks for,
// which program commands it runs, with the debounce of repeated command links.
namespace browsercmd {

// One navigation taken apart.
struct ParsedUrl {
    enum Kind {
        Other,    // not "vorlune:", or the import scheme "vorlune://": let it through
        Resource, // "vorlune:resource?<name>": serve that page
        Command,  // "vorlune:" COMMAND ["?" PARAMETERS]
    };
    Kind kind = Other;
    QString name;       // the template name (lower case) or the command (upper case)
    QString parameters; // as written; empty when it repeats the command word
};
ParsedUrl parse(const QString& url);

// Title lines of an "&"-separated, percent-encoded selection ("x=" in front of an entry
// is dropped); blank entries are left out.
QStringList titleLines(const QString& selection);
// The first title of a selection, decoded.
QString firstTitle(const QString& selection);
// A title line made fit for a selection: blank, "*", "#", "%", "<", ">", "&" and every
// character past ASCII become "%XX" (UTF-8 bytes).
QString escapeTitle(const QString& line);

// What one command link asks of the program: the protocol's command word (upper case;
// "PLAYINGPROPERTIES" for PROPERTIES on the title being played) and its argument: the
// explicit selection, the first title (PROPERTIES), the skip count, the options page.
struct Invocation {
    QString command;
    QString argument;
    bool rebuildAfter = false; // run the view build afterwards
    bool operator==(const Invocation&) const = default;
};

// The command protocol's state: the debounce and the explicit title selection.
class Protocol {
public:
    // The title line of the title being played, empty when none plays.
    std::function<QString()> currentLine;

    struct Decision {
        ParsedUrl url;
        QList<Invocation> invocations;
        bool group1Skipped = false;
    };
    // Decides for a "vorlune:" command navigation (kind Command); other kinds give no
    // invocations.
    Decision handle(const QString& url);

    // The explicit selection the last PROPERTIES left, or that PLAY has not taken yet.
    QString selection() const { return selection_; }
    bool debounceToggle() const { return toggle_; }

private:
    QList<Invocation> group1(const ParsedUrl& url);
    QList<Invocation> group2(const ParsedUrl& url) const;
    // The titles for COPY, BURN, ACTION, REMEMBER: those of the parameters, else the
    // pending selection.
    QString titlesFor(const QString& parameters) const;

    QString lastUrl_;
    bool toggle_ = false;
    QString selection_;
};

} // namespace browsercmd
