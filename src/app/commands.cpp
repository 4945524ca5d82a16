#include "commands.h"

#include "log_categories.h"

#include <QLoggingCategory>

void CommandTable::add(const QString& name, Handler handler, Rule enabled) {
    const QString k = key(name);
    Entry entry{name, std::move(handler), std::move(enabled), false};
    entry.lastEnabled = evaluate(entry);
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

bool CommandTable::isEnabled(const QString& name) const {
    auto it = index_.constFind(key(name));
    return it != index_.constEnd() && evaluate(entries_[*it]);
}

bool CommandTable::run(const QString& name, const QString& argument) {
    auto it = index_.constFind(key(name));
    if (it == index_.constEnd()) {
        qCDebug(lcCommands) << "unknown command" << name;
        return false;
    }
    if (!evaluate(entries_[*it])) {
        qCDebug(lcCommands) << "command disabled" << name;
        return false;
    }
    // The handler may add or remove entries: keep a copy.
    const Handler handler = entries_[*it].handler;
    ++running_;
    if (handler) handler(argument);
    --running_;
    emit ran(key(name));
    refresh();
    return true;
}

void CommandTable::refresh() {
    // A handler of enabledChanged may change state and refresh again: walk by index.
    for (size_t i = 0; i < entries_.size(); ++i) {
        const bool now = evaluate(entries_[i]);
        if (now == entries_[i].lastEnabled) continue;
        entries_[i].lastEnabled = now;
        emit enabledChanged(key(entries_[i].name), now);
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
