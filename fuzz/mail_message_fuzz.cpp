// Fuzz target: the mail message builder. For any subject, sender name, addresses, date
// and body the message passes a strict check: CR LF line ends only, no line over 998
// octets, header fields "name: value" with folding, exactly the builder's own fields, a
// valid date-time, ASCII headers, and a body that decodes to the lines given.
#include "fuzz_input.h"
#include "mail_message.h"

#include <QDate>

#include <cctype>

#include <cstddef>
#include <cstdint>

namespace {

bool isWsp(char c) {
    return c == ' ' || c == '\t';
}

bool allDigits(QByteArrayView s) {
    if (s.isEmpty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// date-time = [ day-of-week "," ] date time, without the obsolete forms; the weekday
// must be the date's.
bool validDateTime(const QByteArray& value) {
    const QList<QByteArray> w = value.simplified().split(' ');
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (w.size() != 6 || w[0].size() != 4 || !w[0].endsWith(',')) return false;
    int weekday = 0;
    for (int i = 0; i < 7; ++i)
        if (w[0].first(3) == days[i]) weekday = i + 1;
    int month = 0;
    for (int i = 0; i < 12; ++i)
        if (w[2] == months[i]) month = i + 1;
    if (!weekday || !month) return false;
    if (w[1].size() > 2 || !allDigits(w[1]) || w[3].size() < 4 || !allDigits(w[3])) return false;
    const int year = w[3].toInt();
    const QDate date(year, month, w[1].toInt());
    if (year < 1900 || !date.isValid() || date.dayOfWeek() != weekday) return false;
    const QByteArray& t = w[4];
    if (t.size() != 8 || t[2] != ':' || t[5] != ':') return false;
    const QByteArrayView tv(t);
    if (!allDigits(tv.sliced(0, 2)) || !allDigits(tv.sliced(3, 2)) || !allDigits(tv.sliced(6, 2)))
        return false;
    if (t.left(2).toInt() > 23 || t.mid(3, 2).toInt() > 59 || t.mid(6, 2).toInt() > 60)
        return false;
    const QByteArray& z = w[5];
    return z.size() == 5 && (z[0] == '+' || z[0] == '-') &&
           allDigits(QByteArrayView(z).sliced(1)) && z.mid(3, 2).toInt() <= 59;
}

// An address between angle brackets, as the builder writes it: printable ASCII without
// white space and specials other than "@" and "."; a mailbox address with one "@" when the
// address given was valid (the builder leaves out what is not).
bool validAngleAddress(QByteArrayView v, bool complete = true) {
    if (v.size() < 2 || v.front() != '<' || v.back() != '>') return false;
    const QByteArrayView a = v.sliced(1, v.size() - 2);
    if (complete && a.count('@') != 1) return false;
    for (char c : a)
        if (uchar(c) < 0x21 || uchar(c) > 0x7e || QByteArrayView("<>()[]\\,;:\"").contains(c))
            return false;
    return true;
}

// display-name: one quoted-string, or encoded words and atoms.
bool validDisplayName(QByteArrayView v) {
    if (v.startsWith('"')) {
        for (qsizetype i = 1; i < v.size(); ++i) {
            if (v[i] == '\\') {
                ++i;
                continue;
            }
            if (v[i] == '"') return i == v.size() - 1;
        }
        return false;
    }
    for (char c : v)
        if (c == '"' || c == '<' || c == '>' || c == ',' || c == ';' || c == '\\') return false;
    return !v.trimmed().isEmpty();
}

QByteArray quotedPrintableDecoded(const QList<QByteArray>& lines, bool& ok) {
    QByteArray out;
    QByteArray line;
    for (const QByteArray& raw : lines) {
        const bool soft = raw.endsWith('=');
        const QByteArray part = soft ? raw.chopped(1) : raw;
        if (raw.size() > 76) ok = false;
        for (qsizetype i = 0; i < part.size(); ++i) {
            const char c = part[i];
            if (c == '=') {
                // "=" and two upper-case hex digits.
                const QByteArray hex = part.mid(i + 1, 2);
                if (hex.size() != 2 || hex.toUpper() != hex) ok = false;
                for (char h : hex)
                    if (!isxdigit(uchar(h))) ok = false;
                line += char(hex.toInt(nullptr, 16));
                i += 2;
            } else if (uchar(c) > 126 || (uchar(c) < 32 && c != '\t')) {
                ok = false;
            } else {
                line += c;
            }
        }
        // White space at the end of an encoded line would be lost on the way.
        if (raw.endsWith(' ') || raw.endsWith('\t')) ok = false;
        if (!soft) {
            out += line + "\n";
            line.clear();
        }
    }
    if (!line.isEmpty()) ok = false;
    return out;
}

void check(const QByteArray& message, const MailMessage& m) {
    // CR and LF only together, every line ended.
    if (!message.endsWith("\r\n")) __builtin_trap();
    QList<QByteArray> lines = message.chopped(2).split('\n');
    for (QByteArray& l : lines) {
        if (!l.endsWith('\r') && &l != &lines.last()) __builtin_trap();
        if (&l != &lines.last()) l.chop(1);
        if (l.contains('\r') || l.size() > mail::kMaxLineOctets) __builtin_trap();
    }
    const qsizetype blank = lines.indexOf(QByteArray());
    if (blank < 1) __builtin_trap();

    // Header fields, unfolded.
    QList<QByteArray> names;
    QList<QByteArray> values;
    for (qsizetype i = 0; i < blank; ++i) {
        const QByteArray& l = lines[i];
        for (char c : l)
            if (!isWsp(c) && (uchar(c) < 33 || uchar(c) > 126)) __builtin_trap();
        if (isWsp(l[0])) {
            // A folded line goes on a field and carries more than white space.
            if (names.isEmpty() || l.trimmed().isEmpty()) __builtin_trap();
            values.last() += "\r\n" + l;
            continue;
        }
        const qsizetype colon = l.indexOf(':');
        if (colon < 1) __builtin_trap();
        for (char c : l.left(colon))
            if (uchar(c) < 33 || uchar(c) > 126) __builtin_trap();
        names.append(l.left(colon).toLower());
        values.append(l.mid(colon + 1));
    }
    static const QList<QByteArray> expected = {
        "date",    "message-id",   "from",         "to",
        "subject", "mime-version", "content-type", "content-transfer-encoding"};
    if (names != expected) __builtin_trap();
    auto value = [&](int i) { return QByteArray(values[i]).replace("\r\n", "").trimmed(); };
    if (!validDateTime(value(0))) __builtin_trap();
    if (!validAngleAddress(value(1))) __builtin_trap();
    const QByteArray from = value(2);
    const qsizetype angle = from.lastIndexOf('<');
    if (angle < 1 || from[angle - 1] != ' ' ||
        !validAngleAddress(QByteArrayView(from).sliced(angle), mail::validAddress(m.from)))
        __builtin_trap();
    if (!validDisplayName(QByteArrayView(from).first(angle - 1))) __builtin_trap();
    if (!validAngleAddress(value(3), mail::validAddress(m.to))) __builtin_trap();
    // A valid address is written as given.
    if (mail::validAddress(m.from) && from.mid(angle) != '<' + m.from.toLatin1() + '>')
        __builtin_trap();
    if (mail::validAddress(m.to) && value(3) != '<' + m.to.toLatin1() + '>') __builtin_trap();

    // The body reads back as the lines given, without their CR and LF.
    QByteArray want;
    for (QString l : m.lines) {
        l.remove(u'\r');
        l.remove(u'\n');
        want += l.toUtf8() + "\n";
    }
    const QList<QByteArray> body = lines.mid(blank + 1);
    const QByteArray encoding = value(7).toLower();
    QByteArray got;
    if (encoding == "quoted-printable") {
        bool ok = true;
        got = quotedPrintableDecoded(body, ok);
        if (!ok) __builtin_trap();
    } else {
        if (encoding != "8bit") __builtin_trap();
        for (const QByteArray& l : body) {
            if (l.contains('\0')) __builtin_trap();
            got += l + "\n";
        }
    }
    if (got != want) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    MailMessage m;
    const uint8_t pick = in.byte();
    const qint64 seconds = qint64(in.byte()) << 32 | qint64(in.byte()) << 24 |
                           qint64(in.byte()) << 16 | qint64(in.byte()) << 8 | in.byte();
    const int offset = (in.byte() % 113 - 56) * 15 * 60; // -14:00 .. +14:00
    m.date = QDateTime::fromSecsSinceEpoch((pick & 1 ? -seconds : seconds) * 37, Qt::OffsetFromUTC,
                                           offset);
    if (pick & 2) m.date = QDateTime();
    m.fromName = in.text();
    m.from = in.text();
    m.to = in.text();
    m.subject = in.text();
    m.lines = in.texts(64);
    check(mail::compose(m), m);
    return 0;
}
