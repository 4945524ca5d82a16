#include "topic_items.h"

#include "command_catalogue.h"

namespace remote {

namespace {

struct Initial {
    Topic topic;
    const char* item;
    const char* value;
};

// The items in their published order, with the value each has before it is first written.
const Initial kInitial[] = {
    {Topic::CurrentTrack, "TRACKNAME", ""},
    {Topic::CurrentTrack, "ARTIST", ""},
    {Topic::CurrentTrack, "TITLE", ""},
    {Topic::CurrentTrack, "FILENAME", ""},
    {Topic::CurrentTrack, "POSITION", "0:00:00"},
    {Topic::CurrentTrack, "DURATION", "0:00:00"},
    {Topic::CurrentTrack, "REMAINING", "-0:00:00"},
    {Topic::Player, "TRACKSTATUS", "stopped"},
    {Topic::Player, "TRACKNUM", "none"},
    {Topic::Player, "TOTALTRACKS", "none"},
    {Topic::Player, "REPEATING", "no"},
    {Topic::Player, "SHUFFLED", "no"},
    {Topic::Player, "SEARCH", ""},
    {Topic::Player, "PLAYALL", ""},
    {Topic::Player, "COMMAND", ""},
    {Topic::Streaming, "STATIONID", ""},
    {Topic::Streaming, "PORT", "8000"},
    {Topic::Streaming, "SAMPLERATE", ""},
    {Topic::Streaming, "BITRATE", ""},
    {Topic::Streaming, "VBRMODE", ""},
    {Topic::Streaming, "QUALITY", ""},
    {Topic::Streaming, "STREAMSTATUS", "offline"},
    {Topic::Streaming, "STREAMPRIVATE", "no"},
    {Topic::Streaming, "LISTENERS", "0"},
    {Topic::Streaming, "MAXLISTENERS", "unlimited"},
    {Topic::AppInfo, "EXENAME", ""},
};

} // namespace

QString topicName(Topic topic) {
    switch (topic) {
    case Topic::CurrentTrack:
        return QStringLiteral("CURRENTTRACK");
    case Topic::Player:
        return QStringLiteral("PLAYER");
    case Topic::Streaming:
        return QStringLiteral("STREAMING");
    case Topic::AppInfo:
        return QStringLiteral("APPINFO");
    }
    return {};
}

std::optional<Topic> topicOf(const QString& item) {
    const QString upper = item.toUpper();
    for (const Initial& i : kInitial)
        if (upper == QLatin1String(i.item)) return i.topic;
    return std::nullopt;
}

QString requestText(const QString& value) {
    if (value.isEmpty()) return {};
    QStringList lines = value.split(QLatin1Char('\n'));
    QString out;
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        out += line + QLatin1String("\r\n");
    }
    return out;
}

} // namespace remote

using remote::Topic;

TopicItems::TopicItems(QObject* parent) : QObject(parent) {
    for (const remote::Initial& i : remote::kInitial) {
        const auto t = std::size_t(i.topic);
        values_[t].insert(QLatin1String(i.item), QString::fromLatin1(i.value));
        order_[t].append(QLatin1String(i.item));
    }
}

bool TopicItems::contains(Topic topic, const QString& item) const {
    return values_[std::size_t(topic)].contains(item.toUpper());
}

bool TopicItems::acceptsPokes(Topic topic, const QString& item) {
    if (topic != Topic::Player) return false;
    // The items the command descriptors name.
    static const QStringList pokes = commandcatalogue::pokeItems();
    return pokes.contains(item.toUpper());
}

QStringList TopicItems::items(Topic topic) const {
    return order_[std::size_t(topic)];
}

QString TopicItems::value(Topic topic, const QString& item) const {
    return values_[std::size_t(topic)].value(item.toUpper());
}

bool TopicItems::set(Topic topic, const QString& item, const QString& value) {
    auto& values = values_[std::size_t(topic)];
    const QString key = item.toUpper();
    auto it = values.find(key);
    if (it == values.end()) return false;
    if (*it != value) {
        *it = value;
        emit valueChanged(topic, key, value);
    }
    return true;
}
