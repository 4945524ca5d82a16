#include "remote_items.h"

RemoteItems::RemoteItems(QObject* parent) : QObject(parent) {
    const char* const stopped[][2] = {
        {"TRACKNAME", ""},          {"ARTIST", ""},          {"TITLE", ""},
        {"FILENAME", ""},           {"POSITION", "0:00:00"}, {"DURATION", "0:00:00"},
        {"REMAINING", "-0:00:00"},  {"TRACKNUM", "none"},    {"TOTALTRACKS", "none"},
        {"TRACKSTATUS", "stopped"}, {"REPEATING", "no"},     {"SHUFFLED", "no"},
    };
    for (const auto& item : stopped)
        values_.insert(QString::fromLatin1(item[0]), QString::fromLatin1(item[1]));
}

void RemoteItems::set(const QString& item, const QString& value) {
    auto it = values_.find(item);
    if (it != values_.end() && *it == value) return;
    values_.insert(item, value);
    emit changed(item, value);
}
