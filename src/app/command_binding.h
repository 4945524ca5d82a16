#pragma once

#include <QString>

#include <functional>

class CommandTable;
class QAbstractButton;
class QAction;

// Menu items and buttons run their command through the table and follow its enabled
// state. A checkable control hands its new check state to the command ("1"/"0");
// otherwise `argument` (when set) supplies the argument.
namespace commandbinding {

void bind(CommandTable& table, QAction* action, const QString& name,
          std::function<QString()> argument = {});
void bind(CommandTable& table, QAbstractButton* button, const QString& name,
          std::function<QString()> argument = {});

} // namespace commandbinding
