#pragma once

#include "uistate.h"

#include <QAnyStringView>
#include <QString>
#include <QStringList>

#include <vector>

// One descriptor per command: its name, the argument it takes, the front ends that may
// call it, its rule, and the menu items, buttons, web words, D-Bus poke and control code
// that reach it. Menus, bindings, the web protocol, the poke list and the control socket
// are all made from these; the handlers are attached where the state they act on lives.
namespace commandcatalogue {

enum class Arg {
    None,       // ignored (a checkable control may hand over its check state)
    Count,      // a positive whole number; empty means 1
    Flag,       // on/off ("1", "yes", "on", "true" / "0", "no", "off", "false"); empty toggles
    Number,     // a whole number from 0; empty means 0
    Text,       // any text without control characters
    TitleLine,  // one title line; empty: the first selected title
    TitleLines, // "&"-separated, percent-encoded title lines; empty: the selection
};

// Who calls a command. Program (the program's own steps) may call every command.
enum FrontEnd : unsigned {
    Program = 0,
    Menu = 1u << 0,   // menus, buttons, context and clock menus, the seek slider
    Socket = 1u << 1, // the control socket
    Web = 1u << 2,    // "vorlune:" links of the web view
    DBus = 1u << 3,   // pokes on the /PLAYER topic
    Mpris = 1u << 4,  // MPRIS methods and properties
};
using FrontEnds = unsigned;

using Rule = bool (*)(const UiState&);

// A menu item or button bound to the command, by object name. A null caption: the
// control is made by its own widget with its own caption (command panel, clock menu).
struct Placement {
    const char* objectName;
    const char* caption = nullptr;  // UTF-8
    const char* shortcut = nullptr; // QKeySequence text
    const char* argument = nullptr; // a fixed argument (the options page)
};

// A word of the "vorlune:" protocol: group 1 words are debounced, group 2 words are not,
// group 0 words are made by the protocol itself and never taken from a link.
struct WebWord {
    const char* word;
    int group;
};

struct Descriptor {
    const char* name;
    Arg argument = Arg::None;
    FrontEnds frontEnds = Program;
    Rule rule = nullptr; // null: always enabled
    bool checkable = false;
    std::vector<Placement> items = {};
    std::vector<WebWord> webWords = {};
    const char* pokeItem = nullptr; // D-Bus /PLAYER item; "COMMAND": the value names it
    int socketCode = -1;            // MP3CTRL code
};

const std::vector<Descriptor>& all();
// By name, without regard to case; null when there is none.
const Descriptor* find(QAnyStringView name);
// The placement with that object name and its command; null when there is none.
const Placement* placement(QAnyStringView objectName, const Descriptor** owner = nullptr);

// The argument checked against its kind and brought into one form ("1"/"0" for a flag,
// the number for counts and numbers).
struct ArgumentCheck {
    bool ok = false;
    QString value;
};
ArgumentCheck checkArgument(Arg kind, const QString& argument);

// The words of a protocol group (upper case), in table order.
QStringList webWords(int group);
// The command a web word runs; ACTION follows the copy mode. Empty: no command.
QString commandForWebWord(QAnyStringView word, const UiState& state);
// The /PLAYER items that take pokes.
QStringList pokeItems();
// The command a poke runs; empty when the item or the COMMAND value names none.
QString commandForPoke(QAnyStringView item, QAnyStringView value);
// The command of a control code; empty for unknown codes.
QString commandForSocketCode(int code);

// For the documentation: "—", "skip count" ...; "menu, socket, web, D-Bus, MPRIS".
QString argumentName(Arg kind);
QStringList frontEndNames(FrontEnds frontEnds);

} // namespace commandcatalogue
