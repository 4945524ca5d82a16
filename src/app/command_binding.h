#pragma once

#include "command_catalogue.h"

#include <QString>

#include <functional>

class CommandTable;
class QAbstractButton;
class QAction;
class QMenu;

// Menu items and buttons run their command through the table (as the menu front end) and
// follow its enabled state. A checkable control hands its new check state to the command
// ("1"/"0"); otherwise `argument` (when set) supplies the argument.
namespace commandbinding {

void bind(CommandTable& table, QAction* action, const QString& name,
          std::function<QString()> argument = {});
void bind(CommandTable& table, QAbstractButton* button, const QString& name,
          std::function<QString()> argument = {});
// Bound as the command's descriptor places the control, with its fixed argument.
void bind(CommandTable& table, QAction* action, const commandcatalogue::Placement& placement);
void bind(CommandTable& table, QAbstractButton* button,
          const commandcatalogue::Placement& placement);

// A menu item made from its placement in the descriptors (caption, shortcut, check
// mark) and bound to its command; null when no descriptor places that object name.
QAction* addItem(CommandTable& table, QMenu* menu, const char* objectName);

} // namespace commandbinding
