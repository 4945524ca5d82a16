#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>

struct MailAccount;

// One plain-text mail in UTF-8, lines joined with CR LF.
struct MailMessage {
    QString fromName; // shown before the address
    QString from;
    QString to;
    QString subject;
    QStringList lines;
    QDateTime date;
};

namespace mail {

// An address fit for the envelope and the headers: printable ASCII with one "@", no
// white space, no angle brackets, quotes, commas or semicolons.
bool validAddress(const QString& address);
// The subject as one header word: plain when it is printable ASCII, else RFC 2047 "B".
QByteArray encodedWord(const QString& text);
// The whole message with CR LF line ends; 8 bit, or quoted-printable when a line is longer
// than a mail line may be.
inline constexpr qsizetype kMaxLineOctets = 998;
QByteArray compose(const MailMessage& message);

struct Result {
    bool ok = false;
    QString reason; // the server's or libcurl's words on failure
};

// Sends through the account's server with libcurl (blocking: call it off the GUI thread).
// A set `cancel` flag ends the transfer within about a second.
Result send(const MailAccount& account, const QString& to, const QByteArray& message,
            int timeoutSeconds = 30, const std::atomic_bool* cancel = nullptr);

} // namespace mail
