#include "data_js.h"

#include "atomic_file.h"
#include "text_codec.h"
#include "title_line.h"

namespace datajs {
namespace {

const QString kUnknownArtist = QStringLiteral("<FONT COLOR=\\\"#A0A0A0\\\">(Unbekannt)<\\/FONT>");

QString quoted(QStringView text) {
    return QLatin1Char('"') + escape(text) + QLatin1Char('"');
}

void arrayBlock(QString& out, const QString& name, const QStringList& names) {
    const QString crlf = QStringLiteral("\r\n");
    if (names.isEmpty()) {
        out += name + QStringLiteral(" = new Array();") + crlf;
        return;
    }
    out += name + QStringLiteral(" = new Array(") + crlf;
    const QString indent(13, QLatin1Char(' '));
    for (qsizetype i = 0; i < names.size(); ++i) {
        out += indent + quoted(names[i]);
        out += i + 1 < names.size() ? QStringLiteral(",") : QStringLiteral(" );");
        out += crlf;
    }
}

} // namespace

QString escape(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case 0x2028:
            out += QStringLiteral("\\u2028");
            break;
        case 0x2029:
            out += QStringLiteral("\\u2029");
            break;
        default:
            if (u < 0x20 || u == 0x7F)
                out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    // Half a surrogate pair has no encoding in the file: it goes as an escape.
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i].isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate()) {
            ++i;
        } else if (out[i].isSurrogate()) {
            const QString escaped =
                QStringLiteral("\\u%1").arg(int(out[i].unicode()), 4, 16, QLatin1Char('0'));
            out.replace(i, 1, escaped);
            i += escaped.size() - 1;
        }
    }
    return out;
}

Neighbours neighbours(const QStringList& titles, const std::vector<int>& order, int position,
                      int historySize) {
    Neighbours result;
    if (historySize <= 0) return result;
    const int count = int(order.size());
    auto nameAt = [&](int k) {
        const int index = order[size_t(k)];
        return index >= 0 && index < titles.size() ? titleline::displayName(titles[index])
                                                   : QString();
    };
    if (position > 0)
        for (int k = std::min(position - 1, count - 1); k >= std::max(position - historySize, 0);
             --k)
            result.previous.append(nameAt(k));
    if (position < count - 1)
        for (int k = std::max(position + 1, 0);
             k <= std::min<qint64>(qint64(position) + historySize, count - 1); ++k)
            result.next.append(nameAt(k));
    return result;
}

QString build(Writer writer, const NowPlaying& now, const QLocale& locale) {
    const QString crlf = QStringLiteral("\r\n");
    const QString yesNo[2] = {QStringLiteral("false"), QStringLiteral("true")};
    QString out;
    if (writer == Writer::Stopped) {
        out += QStringLiteral("status   = \"stopped\";") + crlf;
        out += QStringLiteral("artist   = \"\";") + crlf;
        out += QStringLiteral("title    = \"\";") + crlf;
        out += QStringLiteral("position = -1;") + crlf;
        out += QStringLiteral("duration = -1;") + crlf;
        out += QStringLiteral("bitrate  = \"\";") + crlf;
        out += QStringLiteral("filesize = \"\";") + crlf;
        out += QStringLiteral("repeat    = ") + yesNo[now.repeat] + crlf;
        out += QStringLiteral("shuffle   = ") + yesNo[now.shuffle] + crlf;
        out += QStringLiteral("prevFiles = new Array();") + crlf;
        out += QStringLiteral("nextFiles = new Array();") + crlf;
        return out;
    }
    const qsizetype dash = now.displayName.indexOf(QStringLiteral(" - "));
    const QString artist = dash >= 0 ? quoted(now.displayName.left(dash))
                                     : QLatin1Char('"') + kUnknownArtist + QLatin1Char('"');
    const QString title = quoted(dash >= 0 ? now.displayName.mid(dash + 3) : now.displayName);
    const QString size = locale.toString(now.fileSize) + QStringLiteral(" Bytes");
    if (writer == Writer::Tick) {
        out += QStringLiteral("status    = \"playing\";") + crlf;
        out += QStringLiteral("artist    = ") + artist + QLatin1Char(';') + crlf;
        out += QStringLiteral("title     = ") + title + QLatin1Char(';') + crlf;
        out += QStringLiteral("position  = ") + QString::number(now.position) + QLatin1Char(';') +
               crlf;
        out += QStringLiteral("duration  = ") + QString::number(now.duration) + QLatin1Char(';') +
               crlf;
        out += QStringLiteral("bitrate   = ") + quoted(now.bitRate) + QLatin1Char(';') + crlf;
        out += QStringLiteral("filesize  = ") + quoted(size) + QLatin1Char(';') + crlf;
        out += QStringLiteral("repeat    = ") + yesNo[now.repeat] + QLatin1Char(';') + crlf;
        out += QStringLiteral("shuffle   = ") + yesNo[now.shuffle] + QLatin1Char(';') + crlf;
    } else {
        out += (now.paused ? QStringLiteral("status   = \"paused\";")
                           : QStringLiteral("status   = \"playing\";")) +
               crlf;
        out += QStringLiteral("artist   = ") + artist + QLatin1Char(';') + crlf;
        out += QStringLiteral("title    = ") + title + QLatin1Char(';') + crlf;
        out +=
            QStringLiteral("position = ") + QString::number(now.position) + QLatin1Char(';') + crlf;
        out +=
            QStringLiteral("duration = ") + QString::number(now.duration) + QLatin1Char(';') + crlf;
        out += QStringLiteral("bitrate  = ") + quoted(now.bitRate) + QLatin1Char(';') + crlf;
        out += QStringLiteral("filesize = ") + quoted(size) + QLatin1Char(';') + crlf;
        out += QStringLiteral("repeat    = ") + yesNo[now.repeat] + crlf;
        out += QStringLiteral("shuffle   = ") + yesNo[now.shuffle] + crlf;
    }
    arrayBlock(out, QStringLiteral("prevFiles"), now.previous);
    arrayBlock(out, QStringLiteral("nextFiles"), now.next);
    return out;
}

QByteArray encode(const QString& text) {
    return textcodec::encodeIndexText(text);
}

bool write(const QString& fileName, const QString& text, QString* reason) {
    return atomicfile::write(fileName, encode(text), reason, {.sync = false});
}

} // namespace datajs
