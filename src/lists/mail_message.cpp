#include "mail_message.h"

#include "mail_account.h"

#include <QLocale>
#include <QUuid>

#include <curl/curl.h>

#include <cstring>

namespace mail {

bool validAddress(const QString& address) {
    if (address.size() > 254 || address.count(u'@') != 1) return false;
    const qsizetype at = address.indexOf(u'@');
    if (at == 0 || at == address.size() - 1 || address.startsWith(u'-')) return false;
    for (const QChar c : address) {
        // Plain ASCII: the envelope and the headers carry the address as it stands.
        if (c.unicode() < 0x21 || c.unicode() > 0x7e) return false;
        if (QStringView(u"<>\"(),;:[]\\").contains(c)) return false;
    }
    return true;
}

namespace {

// Printable ASCII, short enough for one header line.
bool isPlainText(const QString& text) {
    if (text.size() > 900) return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e) return false;
    return true;
}

} // namespace

namespace {

// Encoded words stay under 76 characters: split the UTF-8 text at character borders.
QByteArray encodedWords(const QString& text) {
    QByteArray out;
    QString chunk;
    auto flush = [&] {
        if (chunk.isEmpty()) return;
        if (!out.isEmpty()) out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toUtf8().toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString next = text.at(i);
        if (text.at(i).isHighSurrogate() && i + 1 < text.size()) next += text.at(++i);
        // Control characters never reach a header.
        if (next.size() == 1 && next.at(0).unicode() < 0x20) next = QStringLiteral(" ");
        if ((chunk + next).toUtf8().size() > 45) flush();
        chunk += next;
    }
    flush();
    return out;
}

} // namespace

QByteArray encodedWord(const QString& text) {
    return isPlainText(text) ? text.toLatin1() : encodedWords(text);
}

namespace {

// "Wed, 09 Dec 2026 11:26:18 +0100".
QByteArray dateHeader(const QDateTime& when) {
    const int offset = when.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(QChar(offset < 0 ? u'-' : u'+'))
                             .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
    // English day and month names whatever the user's language.
    return QLocale::c().toString(when, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() +
           zone.toLatin1();
}

// "From: " + name + " <" + address + ">" within one mail line.
constexpr qsizetype kMaxDisplayName = kMaxLineOctets - 6 - 2 - 254 - 1;

// A new "<unique@domain>" with the sender's domain.
QByteArray messageId(const QString& from) {
    const qsizetype at = from.indexOf(u'@');
    const QString domain =
        validAddress(from) ? from.mid(at + 1) : QStringLiteral("vorlune.invalid");
    return '<' + QUuid::createUuid().toByteArray(QUuid::Id128) + '@' + domain.toLatin1() + '>';
}

// An address as the headers carry it: what validAddress() would refuse is left out, so
// that no text can end the field, add one or pass the length of a mail line (send()
// refuses such an address anyway).
QByteArray headerAddress(const QString& address) {
    if (validAddress(address)) return address.toLatin1();
    QByteArray out;
    for (const QChar c : address)
        if (c.unicode() >= 0x21 && c.unicode() <= 0x7e &&
            !QStringView(u"<>\"(),;:[]\\").contains(c))
            out += char(c.unicode());
    // No longer than an address may be: a header line has a limit.
    out.truncate(254);
    return out;
}

// The name before the sender's address: a quoted string when it is plain text, else
// encoded words, which must not stand inside quotes.
QByteArray displayName(const QString& name) {
    if (!isPlainText(name)) return encodedWords(name);
    QByteArray quoted = "\"";
    for (const QChar c : name) {
        if (c == u'"' || c == u'\\') quoted += '\\';
        quoted += char(c.unicode());
    }
    // The From line also carries the address (up to 254 octets): a long name, or one
    // grown by its escapes, goes as encoded words, which fold.
    if (quoted.size() + 1 > kMaxDisplayName) return encodedWords(name);
    return quoted + '"';
}

// One body line as quoted-printable, broken softly so that no line passes 76 characters.
QByteArray quotedPrintable(const QByteArray& line) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(line.size() + line.size() / 2 + 8);
    qsizetype width = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const uchar c = uchar(line.at(i));
        const bool last = i + 1 == line.size();
        const bool plain = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        const qsizetype size = plain ? 1 : 3;
        if (width + size > 75) {
            out += "=\r\n";
            width = 0;
        }
        if (plain) {
            out += char(c);
        } else {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        width += size;
    }
    return out;
}

} // namespace

QByteArray compose(const MailMessage& m) {
    // A date-time of the mail format has a year of four digits from 1900 on.
    const bool dated =
        m.date.isValid() && m.date.date().year() >= 1900 && m.date.date().year() <= 9999;
    const QDateTime when = dated ? m.date : QDateTime::currentDateTime();
    QByteArray out;
    out += "Date: " + dateHeader(when) + "\r\n";
    out += "Message-ID: " + messageId(m.from) + "\r\n";
    out += "From: " + displayName(m.fromName) + " <" + headerAddress(m.from) + ">\r\n";
    out += "To: <" + headerAddress(m.to) + ">\r\n";
    out += "Subject: " + encodedWord(m.subject) + "\r\n";
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: text/plain; charset=UTF-8\r\n";
    QList<QByteArray> body;
    body.reserve(m.lines.size());
    bool longLines = false;
    for (const QString& line : m.lines) {
        QString clean = line;
        clean.remove(u'\r');
        clean.remove(u'\n');
        body << clean.toUtf8();
        longLines = longLines || body.constLast().size() > kMaxLineOctets ||
                    body.constLast().contains('\0');
    }
    // Mail servers break or refuse longer lines (and NUL bytes); then the body goes as
    // quoted-printable.
    out += longLines ? "Content-Transfer-Encoding: quoted-printable\r\n"
                     : "Content-Transfer-Encoding: 8bit\r\n";
    out += "\r\n";
    for (const QByteArray& line : body)
        out += (longLines ? quotedPrintable(line) : line) + "\r\n";
    return out;
}

namespace {

struct Upload {
    const QByteArray* data;
    qsizetype at = 0;
};

size_t readBody(char* buffer, size_t size, size_t count, void* user) {
    auto* u = static_cast<Upload*>(user);
    const size_t room = size * count;
    const size_t left = size_t(u->data->size() - u->at);
    const size_t n = std::min(room, left);
    std::memcpy(buffer, u->data->constData() + u->at, n);
    u->at += qsizetype(n);
    return n;
}

// libcurl calls it at least once a second, also while it waits for the server.
int checkCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic_bool*>(user);
    return cancel && cancel->load() ? 1 : 0;
}

} // namespace

Result send(const MailAccount& account, const QString& to, const QByteArray& message,
            int timeoutSeconds, const std::atomic_bool* cancel) {
    Result result;
    if (!validAddress(to) || !validAddress(account.sender)) {
        result.reason = QStringLiteral("Ungültige Adresse");
        return result;
    }
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.reason = QStringLiteral("libcurl konnte nicht gestartet werden");
        return result;
    }
    const QByteArray scheme = account.security == MailAccount::Tls ? "smtps" : "smtp";
    const QByteArray url = scheme + "://" + account.server.trimmed().toUtf8() + ":" +
                           QByteArray::number(account.effectivePort());
    const QByteArray from = "<" + account.sender.toLatin1() + ">";
    const QByteArray rcpt = "<" + to.toLatin1() + ">";
    const QByteArray user = account.user.toUtf8();
    const QByteArray password = account.password.toUtf8();
    char error[CURL_ERROR_SIZE] = {0};
    curl_slist* recipients = curl_slist_append(nullptr, rcpt.constData());
    Upload upload{&message};

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    if (account.security == MailAccount::StartTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readBody);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    if (cancel) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkCancel);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic_bool*>(cancel));
    }

    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK) {
        result.ok = true;
    } else {
        long response = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response);
        result.reason = QString::fromUtf8(error[0] ? error : curl_easy_strerror(code));
        if (response > 0) result.reason += QStringLiteral(" (SMTP %1)").arg(response);
    }
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);
    return result;
}

} // namespace mail
