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

CommandTable::CommandTable(UseCatalogue, QObject* parent) : QObject(parent), catalogue_(true) {
    // Every command is here from the start; it is there once its service is.
    for (const commandcatalogue::Descriptor& d : commandcatalogue::all()) {
        index_.insert(key(QLatin1String(d.name)), int(entries_.size()));
        entries_.push_back({QLatin1String(d.name), Handler(), Rule(), &d, false});
    }
}

bool CommandTable::available(const Entry& entry) const {
    if (entry.handler) return true;
    return entry.descriptor && entry.descriptor->handler &&
           commandcatalogue::provided(services_, entry.descriptor->service);
}

const CommandTable::Entry* CommandTable::find(const QString& name) const {
    auto it = index_.constFind(key(name));
    if (it == index_.constEnd() || !available(entries_[*it])) return nullptr;
    return &entries_[*it];
}

void CommandTable::add(const QString& name, Handler handler) {
    add(name, std::move(handler), Rule());
}

void CommandTable::add(const QString& name, Handler handler, Rule ownRule) {
    const QString k = key(name);
    auto it = index_.constFind(k);
    if (it == index_.constEnd()) {
        index_.insert(k, int(entries_.size()));
        entries_.push_back({name, Handler(), Rule(), nullptr, false});
        it = index_.constFind(k);
    }
    Entry& entry = entries_[*it];
    // Without a handler the entry would count as missing; an empty one stands in.
    entry.handler = handler ? std::move(handler) : Handler([](const QString&) {});
    entry.ownRule = std::move(ownRule);
    const bool on = evaluate(entry, state());
    if (on == entry.lastEnabled) return;
    entry.lastEnabled = on;
    emit enabledChanged(k, on);
}

void CommandTable::remove(const QString& name) {
    const QString k = key(name);
    auto it = index_.find(k);
    if (it == index_.end()) return;
    const int at = *it;
    Entry& entry = entries_[at];
    const bool wasEnabled = entry.lastEnabled;
    if (entry.descriptor && catalogue_) {
        // A descriptor's command stays; only the own handler goes.
        entry.handler = Handler();
        entry.ownRule = Rule();
        entry.lastEnabled = evaluate(entry, state());
        if (wasEnabled != entry.lastEnabled) emit enabledChanged(k, entry.lastEnabled);
        return;
    }
    entries_.erase(entries_.begin() + at);
    index_.erase(it);
    for (auto& i : index_)
        if (i > at) --i;
    if (wasEnabled) emit enabledChanged(k, false);
}

bool CommandTable::contains(const QString& name) const {
    return find(name) != nullptr;
}

QStringList CommandTable::names() const {
    QStringList out;
    out.reserve(int(entries_.size()));
    for (const Entry& e : entries_)
        if (available(e)) out << key(e.name);
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
    if (!available(entry)) return false;
    if (entry.ownRule) return entry.ownRule();
    return !entry.descriptor || !entry.descriptor->rule || entry.descriptor->rule(state);
}

bool CommandTable::isEnabled(const QString& name) const {
    const Entry* entry = find(name);
    return entry && evaluate(*entry, state());
}

CommandResult CommandTable::decide(const QString& name, const QString& argument, FrontEnd from,
                                   QString* checked) const {
    const Entry* found = find(name);
    if (!found) return refused(CommandResult::Unknown, name);
    const Entry& entry = *found;
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
    const Entry& entry = *find(name);
    // The handler may change the table: keep copies.
    const Handler own = entry.handler;
    const commandcatalogue::Descriptor* d = entry.descriptor;
    ++running_;
    if (own)
        own(value);
    else
        d->handler(services_, value);
    --running_;
    emit ran(key(name));
    refresh();
    return result;
}

void CommandTable::refresh() {
    if (shutDown_) return;
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
