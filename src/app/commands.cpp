#include "commands.h"

#include "log_categories.h"

#include <QLoggingCategory>

namespace {

QString refusal(CommandResult::Status status, const QString& name) {
    switch (status) {
    case CommandResult::Unknown:
        return QStringLiteral("Unbekannter Befehl \"%1\".").arg(name);
    case CommandResult::NotAllowed:
        return QStringLiteral("Der Befehl \"%1\" kann von hier aus nicht aufgerufen werden.")
            .arg(name);
    case CommandResult::Disabled:
        return QStringLiteral("Der Befehl \"%1\" ist im Moment nicht möglich.").arg(name);
    case CommandResult::BadArgument:
        return QStringLiteral("Ungültiges Argument für den Befehl \"%1\".").arg(name);
    case CommandResult::Ran:
        break;
    }
    return {};
}

CommandResult refused(CommandResult::Status status, const QString& name) {
    qCDebug(lcCommands) << "command refused" << name << status;
    return {status, refusal(status, name)};
}

} // namespace

void CommandTable::add(const QString& name, Handler handler) {
    add(name, std::move(handler), Rule());
}

void CommandTable::add(const QString& name, Handler handler, Rule ownRule) {
    const QString k = key(name);
    Entry entry{name, std::move(handler), std::move(ownRule),
                catalogue_ ? commandcatalogue::find(name) : nullptr, false};
    entry.lastEnabled = evaluate(entry, state());
    const bool announce = entry.lastEnabled;
    auto it = index_.constFind(k);
    if (it != index_.constEnd()) {
        const bool before = entries_[*it].lastEnabled;
        entries_[*it] = std::move(entry);
        if (before != announce) emit enabledChanged(k, announce);
        return;
    }
    index_.insert(k, int(entries_.size()));
    entries_.push_back(std::move(entry));
    if (announce) emit enabledChanged(k, true);
}

void CommandTable::remove(const QString& name) {
    const QString k = key(name);
    auto it = index_.find(k);
    if (it == index_.end()) return;
    const int at = *it;
    const bool wasEnabled = entries_[at].lastEnabled;
    entries_.erase(entries_.begin() + at);
    index_.erase(it);
    for (auto& i : index_)
        if (i > at) --i;
    if (wasEnabled) emit enabledChanged(k, false);
}

bool CommandTable::contains(const QString& name) const {
    return index_.contains(key(name));
}

QStringList CommandTable::names() const {
    QStringList out;
    out.reserve(int(entries_.size()));
    for (const Entry& e : entries_)
        out << key(e.name);
    return out;
}

void CommandTable::addStateSource(QObject* owner, StateSource source) {
    sources_.push_back({QPointer<QObject>(owner), std::move(source)});
}

UiState CommandTable::state() const {
    UiState s;
    for (const Source& source : sources_)
        if (source.owner && source.fill) source.fill(s);
    return s;
}

bool CommandTable::evaluate(const Entry& entry, const UiState& state) const {
    if (entry.ownRule) return entry.ownRule();
    return !entry.descriptor || !entry.descriptor->rule || entry.descriptor->rule(state);
}

bool CommandTable::isEnabled(const QString& name) const {
    auto it = index_.constFind(key(name));
    return it != index_.constEnd() && evaluate(entries_[*it], state());
}

CommandResult CommandTable::decide(const QString& name, const QString& argument, FrontEnd from,
                                   QString* checked) const {
    auto it = index_.constFind(key(name));
    if (it == index_.constEnd()) return refused(CommandResult::Unknown, name);
    const Entry& entry = entries_[*it];
    const commandcatalogue::Descriptor* d = entry.descriptor;
    if (d && from != FrontEnd::Program && !(d->frontEnds & from))
        return refused(CommandResult::NotAllowed, key(name));
    if (!evaluate(entry, state())) return refused(CommandResult::Disabled, key(name));
    QString value = argument;
    if (d) {
        const commandcatalogue::ArgumentCheck c =
            commandcatalogue::checkArgument(d->argument, argument);
        if (!c.ok) return refused(CommandResult::BadArgument, key(name));
        value = c.value;
    }
    if (checked) *checked = value;
    return {};
}

CommandResult CommandTable::check(const QString& name, const QString& argument,
                                  FrontEnd from) const {
    return decide(name, argument, from, nullptr);
}

CommandResult CommandTable::run(const QString& name, const QString& argument, FrontEnd from) {
    QString value;
    const CommandResult result = decide(name, argument, from, &value);
    if (!result) return result;
    // The handler may add or remove entries: keep a copy.
    const Handler handler = entries_[index_.value(key(name))].handler;
    ++running_;
    if (handler) handler(value);
    --running_;
    emit ran(key(name));
    refresh();
    return result;
}

void CommandTable::refresh() {
    const UiState now = state();
    // A handler of enabledChanged may change state and refresh again; the inner refresh
    // has the newer state and finishes the walk.
    const quint64 round = ++refreshRound_;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const bool on = evaluate(entries_[i], now);
        if (on == entries_[i].lastEnabled) continue;
        entries_[i].lastEnabled = on;
        emit enabledChanged(key(entries_[i].name), on);
        if (round != refreshRound_) return;
    }
}

int CommandTable::skipCount(const QString& argument) {
    bool ok = false;
    const int n = argument.trimmed().toInt(&ok);
    return ok && n > 0 ? n : 1;
}

bool CommandTable::flag(const QString& argument, bool fallback) {
    const QString a = argument.trimmed().toLower();
    if (a == u"1" || a == u"yes" || a == u"on" || a == u"true") return true;
    if (a == u"0" || a == u"no" || a == u"off" || a == u"false") return false;
    return fallback;
}
