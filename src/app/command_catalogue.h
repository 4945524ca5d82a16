#pragma once

#include "command_services.h"
#include "uistate.h"

#include <QAnyStringView>
#include <QString>
#include <QStringList>

#include <vector>

// One descriptor per command: its name, its handler (a call of one service's interface,
// command_services.h), the argument it takes, the front ends that may call it, its rule,
// and the menu items, buttons, web words, D-Bus poke and control code that reach it.
// Menus, bindings, the web protocol, the poke list and the control socket are all made
// from these; the owners of the services only put themselves into the table.
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
// The handler gets the argument in its checked form; its service is there when it runs.
using Handler = void (*)(CommandServices&, const QString& argument);

// Which service a handler calls.
enum class Service { Transport, Window, Playback, Lists, Copy, Statistics, Options, Remote, Web };
// Whether the services hold that one.
bool provided(const CommandServices& services, Service service);

// Where a main-menu item goes: its menu's path ("&Ansicht/&Dateiliste"), the section of
// that menu (the window puts its own items between sections) and its place in the
// section, smaller first. Null menu: not in the main menu.
struct MenuPlace {
    const char* menu = nullptr;
    int section = 0;
    int order = 0;
    bool separatorBefore = false;
};

// A menu item or button bound to the command, by object name: menu items and command
// panel buttons take caption, shortcut and tool tip from here. A control placed without
// a caption or tool tip has its own (tool buttons show an icon; the clock menu and the
// profile bar make their controls themselves).
struct Placement {
    const char* objectName;
    const char* caption = nullptr;  // UTF-8
    const char* shortcut = nullptr; // QKeySequence text
    const char* argument = nullptr; // a fixed argument (the options page)
    const char* hint = nullptr;     // the tool tip, UTF-8
    MenuPlace place = {};           // a main-menu item's place
};

// A word of the "vorlune:" protocol: group 1 words are debounced, group 2 words are not,
// group 0 words are made by the protocol itself and never taken from a link.
struct WebWord {
    const char* word;
    int group;
};

struct Descriptor {
    const char* name;
    Service service;
    Handler handler;
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

// The main menu's paths in menu bar order.
const std::vector<const char*>& menuBar();

// The main menu's command items, menu by menu in order, with their separators, made from
// the placements' places. A menu's items come in sections: the window puts its own items
// (bar toggles, list styles and columns, time display, destinations, copy modes) between
// them.
struct MenuEntry {
    const char* menu; // its path: "&Ansicht/&Dateiliste"
    int section;
    const char* objectName; // a command's placement; null: a separator
};
const std::vector<MenuEntry>& menuLayout();
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
