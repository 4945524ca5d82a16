#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace remote {

enum class Topic { CurrentTrack, Player, Streaming, AppInfo };
inline constexpr std::array<Topic, 4> kTopics{Topic::CurrentTrack, Topic::Player, Topic::Streaming,
                                              Topic::AppInfo};

// "CURRENTTRACK", "PLAYER", "STREAMING", "APPINFO".
QString topicName(Topic topic);
// The topic that publishes an item (item names are unique over all topics).
std::optional<Topic> topicOf(const QString& item);

// A value as a client receives it: every line followed by CR LF.
QString requestText(const QString& value);

} // namespace remote

// The published items of the four topics with their current values. Item names are
// compared without regard to case; the stored names are upper case.
class TopicItems : public QObject {
    Q_OBJECT
public:
    explicit TopicItems(QObject* parent = nullptr);

    bool contains(remote::Topic topic, const QString& item) const;
    // REPEATING, SHUFFLED, SEARCH, PLAYALL and COMMAND take pokes; the rest is read-only.
    static bool acceptsPokes(remote::Topic topic, const QString& item);
    QStringList items(remote::Topic topic) const;
    QString value(remote::Topic topic, const QString& item) const;

    // Sets a known item; unknown items are left alone. Returns whether it is known.
    bool set(remote::Topic topic, const QString& item, const QString& value);

signals:
    void valueChanged(remote::Topic topic, const QString& item, const QString& value);

private:
    std::array<QHash<QString, QString>, 4> values_;
    std::array<QStringList, 4> order_;
};
