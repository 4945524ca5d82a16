#include "command_binding.h"

#include "commands.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
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

template <typename Control, typename Signal>
void connectRun(CommandTable& table, Control* control, Signal signal, const QString& name,
                std::function<QString()> argument) {
    follow(table, control, name);
    QPointer<CommandTable> guard(&table);
    QObject::connect(
        control, signal, control,
        [guard, control, name, argument = std::move(argument)](bool checked) {
            if (!guard) return;
            const QString arg = control->isCheckable() ? QString::number(checked ? 1 : 0)
                                                       : (argument ? argument() : QString());
            if (!guard->run(name, arg, commandcatalogue::Menu) && control->isCheckable()) {
                const QSignalBlocker block(control);
                control->setChecked(!checked);
            }
        });
}

std::function<QString()> fixed(const commandcatalogue::Placement& p) {
    if (!p.argument) return {};
    return [value = QString::fromLatin1(p.argument)] { return value; };
}

QString commandOf(const commandcatalogue::Placement& p) {
    const commandcatalogue::Descriptor* d = nullptr;
    commandcatalogue::placement(QLatin1String(p.objectName), &d);
    return d ? QLatin1String(d->name) : QString();
}

} // namespace

void bind(CommandTable& table, QAction* action, const QString& name,
          std::function<QString()> argument) {
    if (action) connectRun(table, action, &QAction::triggered, name, std::move(argument));
}

void bind(CommandTable& table, QAbstractButton* button, const QString& name,
          std::function<QString()> argument) {
    if (button) connectRun(table, button, &QAbstractButton::clicked, name, std::move(argument));
}

void bind(CommandTable& table, QAction* action, const commandcatalogue::Placement& placement) {
    commandbinding::bind(table, action, commandOf(placement), fixed(placement));
}

void bind(CommandTable& table, QAbstractButton* button,
          const commandcatalogue::Placement& placement) {
    commandbinding::bind(table, button, commandOf(placement), fixed(placement));
}

QAction* addItem(CommandTable& table, QMenu* menu, const char* objectName) {
    const commandcatalogue::Descriptor* d = nullptr;
    const commandcatalogue::Placement* p =
        commandcatalogue::placement(QLatin1String(objectName), &d);
    if (!p) return nullptr;
    QAction* a = menu->addAction(QString::fromUtf8(p->caption));
    a->setObjectName(QLatin1String(objectName));
    if (p->shortcut) a->setShortcut(QKeySequence(QString::fromLatin1(p->shortcut)));
    a->setCheckable(d->checkable);
    commandbinding::bind(table, a, *p);
    return a;
}

} // namespace commandbinding
