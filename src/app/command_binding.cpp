#include "command_binding.h"

#include "commands.h"

#include <QAbstractButton>
#include <QAction>
#include <QPointer>
#include <QSignalBlocker>

namespace commandbinding {

namespace {

template <typename Control>
void follow(CommandTable& table, Control* control, const QString& name) {
    const QString key = name.toLower();
    control->setEnabled(table.isEnabled(key));
    QObject::connect(&table, &CommandTable::enabledChanged, control,
                     [control, key](const QString& changed, bool on) {
                         if (changed == key) control->setEnabled(on);
                     });
}

} // namespace

void bind(CommandTable& table, QAction* action, const QString& name,
          std::function<QString()> argument) {
    if (!action) return;
    follow(table, action, name);
    QPointer<CommandTable> guard(&table);
    QObject::connect(action, &QAction::triggered, action,
                     [guard, action, name, argument = std::move(argument)](bool checked) {
                         if (!guard) return;
                         const QString arg = action->isCheckable()
                                                 ? QString::number(checked ? 1 : 0)
                                                 : (argument ? argument() : QString());
                         if (!guard->run(name, arg) && action->isCheckable()) {
                             const QSignalBlocker block(action);
                             action->setChecked(!checked);
                         }
                     });
}

void bind(CommandTable& table, QAbstractButton* button, const QString& name,
          std::function<QString()> argument) {
    if (!button) return;
    follow(table, button, name);
    QPointer<CommandTable> guard(&table);
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [guard, button, name, argument = std::move(argument)](bool checked) {
                         if (!guard) return;
                         const QString arg = button->isCheckable()
                                                 ? QString::number(checked ? 1 : 0)
                                                 : (argument ? argument() : QString());
                         if (!guard->run(name, arg) && button->isCheckable()) {
                             const QSignalBlocker block(button);
                             button->setChecked(!checked);
                         }
                     });
}

} // namespace commandbinding
