#include "wizard_logic.h"

#include "registered_owner.h"

#include "text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <chrono>
#include <vector>

namespace reapwell {

const std::array<MediumType, 8>& mediumTypes() {
    static const std::array<MediumType, 8> types{{
        {"(Standard-Datenträgersymbol)", ""},
        {"Diskette, MO-Diskette oder ZIP-Disk", "DSK"},
        {"USB-fähiges Wiedergabe- / Massenspeichergerät", "USB"},
        {"RAM- / Flash-Laufwerk", "RAM"},
        {"CD, DVD oder BluRay-Disc", "CDR"},
        {"Festplatte", "HDD"},
        {"Netzwerk-Ressource (UNC)", "LAN"},
        {"Web-Laufwerk (HTTP/FTP)", "WWW"},
    }};
    return types;
}

QString typeCode(int typeIndex) {
    if (typeIndex < 0 || typeIndex >= int(mediumTypes().size())) return {};
    return QString::fromLatin1(mediumTypes()[typeIndex].code);
}

namespace {

bool removedFromLabel(QChar c) {
    switch (c.unicode()) {
    case u'/':
    case u'\\':
    case u'|':
    case u'+':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u':':
        return true;
    default:
        return false;
    }
}

bool isBlank(QChar c) {
    return c.unicode() <= u' ';
}

bool startsWithCi(QStringView text, QLatin1StringView prefix) {
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

const QLatin1StringView kHttp{"HTTP://"};
const QLatin1StringView kFtp{"FTP://"};

} // namespace

TextEdit cleanLabel(QStringView text, int caret) {
    TextEdit out;
    out.text.reserve(text.size());
    bool leading = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        bool keep = true;
        if (removedFromLabel(c))
            keep = false;
        else if (leading && isBlank(c))
            keep = false;
        else if (c == u' ' && out.text.endsWith(u' '))
            keep = false;
        if (!keep) continue;
        out.text.append(c);
        leading = false;
        if (i < caret) ++out.caret;
    }
    return out;
}

TextEdit appendUrlSlash(QStringView text, int caret) {
    TextEdit out{text.toString(), int(qBound(qsizetype(0), qsizetype(caret), text.size()))};
    if (!out.text.isEmpty() && !out.text.endsWith(u'/')) out.text.append(u'/');
    return out;
}

TextEdit editUrl(QStringView previous, QStringView typed, int caret) {
    if (previous.endsWith(u'/') && typed.size() == previous.size() + 1 &&
        caret == typed.size() - 1 && typed.startsWith(previous) && typed.endsWith(u'/'))
        return {previous.toString(), caret};
    return appendUrlSlash(typed, caret);
}

bool baseDirAccepted(const QString& path) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) return false;
    return QFileInfo(path).isDir();
}

bool networkPathAccepted(QStringView path) {
    return path.startsWith(u"\\\\") && path.indexOf(u'\\', 3) >= 0;
}

bool hasWebScheme(QStringView url) {
    return startsWithCi(url, kHttp) || startsWithCi(url, kFtp);
}

bool urlPrefixAccepted(QStringView url) {
    for (QLatin1StringView prefix : {kHttp, kFtp}) {
        if (startsWithCi(url, prefix) && url.indexOf(u'/', prefix.size() + 1) >= 0) return true;
    }
    return false;
}

bool urlAccepted(const QString& url) {
    const QUrl parsed(url);
    if (!parsed.isValid()) return false;
    const QString scheme = parsed.scheme().toLower();
    if (scheme != u"http" && scheme != u"ftp") return false;
    if (parsed.host().isEmpty() || parsed.port() != -1) return false;
    if (parsed.hasFragment() || parsed.hasQuery()) return false;
    const QString path = parsed.path();
    return path.isEmpty() || path.endsWith(u'/');
}

QString withWebScheme(const QString& url) {
    return hasWebScheme(url) ? url : QStringLiteral("http://") + url;
}

InfoTexts infoFromLines(const QStringList& lines, const InfoTexts& current) {
    const QLatin1StringView tags[3] = {QLatin1StringView("AUTHOR::"),
                                       QLatin1StringView("VERSION::"),
                                       QLatin1StringView("COMMENT::")};
    qsizetype found[3] = {-1, -1, -1};
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (found[0] >= 0 && found[1] >= 0 && found[2] >= 0) break;
        for (int t = 0; t < 3; ++t) {
            if (found[t] < 0 && startsWithCi(lines[i], tags[t])) {
                found[t] = i;
                break;
            }
        }
    }
    InfoTexts out = current;
    QString* values[3] = {&out.author, &out.version, &out.comment};
    for (int t = 0; t < 3; ++t) {
        if (found[t] >= 0)
            *values[t] = lines[found[t]].mid(tags[t].size());
        else if (lines.size() > t)
            *values[t] = lines[t];
    }
    return out;
}

bool infoFromFile(const QString& path, InfoTexts& texts, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden.").arg(path);
        return false;
    }
    const QByteArray bytes = file.readAll();
    texts = infoFromLines(textcodec::splitLines(textcodec::decodeIndexText(bytes)), texts);
    return true;
}

ToolParameters toolParameters(const ToolInput& input) {
    ToolParameters out;
    auto add = [&out](const char* key, const QString& value, bool quoted) {
        const QString name = QString::fromLatin1(key);
        out.text += u' ' + name + u'=' + (quoted ? u'"' + value + u'"' : value);
        out.arguments << name + u'=' + value;
    };
    QString base = input.baseDir;
    if (input.root == RootOption::RootFolder && !base.endsWith(u'/')) base += u'/';
    add("BASEDIR", base, true);
    add("LABEL", input.label, true);
    const QString code = typeCode(input.typeIndex);
    if (input.typeIndex > 0 && !code.isEmpty()) {
        add("TYPE", code, false);
        if (input.connect && input.typeIndex == kTypeLan) add("RES", input.networkPath, true);
        if (input.connect && input.typeIndex == kTypeWww) add("RES", input.url, true);
    }
    add("INFOFILE", input.infoFile, true);
    return out;
}

QString indexFilePath(const QString& outputDir, const QString& label) {
    QString path = outputDir;
    if (!path.endsWith(u'/')) path += u'/';
    return path + label + QStringLiteral(".cd");
}

QString waitingText(const QString& label) {
    return QStringLiteral("Das Medium \"%1\" wird jetzt erstellt.\n\r").arg(label) +
           QString::fromUtf8("Dieser Vorgang kann unter Umständen mehrere Minuten dauern.");
}

QString cancelQuestion() {
    return QStringLiteral("Wenn Sie jetzt abbrechen, wird die Zusammenstellung verworfen!\n\r"
                          "Wollen Sie Reapwell wirklich beenden?");
}

QString shownText(QString text) {
    return text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
}

QString registeredOwner() {
    return systemuser::registeredOwner();
}

QString tickName(quint64 milliseconds) {
    return QStringLiteral("%1").arg(milliseconds & 0xFFFFFFFFu, 8, 16, QLatin1Char('0')).toUpper();
}

QString tickName() {
    using namespace std::chrono;
    const auto now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
    return tickName(quint64(now.count()));
}

void WizardFlow::setBaseDir(const QString& path) {
    baseDir_ = path;
    if (page_ == 1) nextEnabled_ = pageRuleHolds();
}

void WizardFlow::setLabel(const QString& text) {
    label_ = cleanLabel(text, 0).text.left(kLabelMaxLength);
    if (page_ == 3) nextEnabled_ = pageRuleHolds();
}

void WizardFlow::setTypeIndex(int index) {
    typeIndex_ = index;
    connectEnabled_ = typeAllowsConnect(index);
}

void WizardFlow::setNetworkPath(const QString& path) {
    networkPath_ = path;
    if (page_ == 5) nextEnabled_ = pageRuleHolds();
}

void WizardFlow::setUrl(const QString& text) {
    url_ = appendUrlSlash(text, 0).text;
    if (page_ == 6) nextEnabled_ = urlAccepted(url_);
}

ToolParameters WizardFlow::parameters(const QString& infoFile) const {
    ToolInput input;
    input.baseDir = baseDir_;
    input.root = root_;
    input.label = label_;
    input.typeIndex = typeIndex_;
    input.connect = connectEnabled_ && connectChecked_;
    input.networkPath = networkPath_;
    input.url = url_;
    input.infoFile = infoFile;
    return toolParameters(input);
}

bool WizardFlow::pageRuleHolds() const {
    switch (page_) {
    case 1:
        return baseDirAccepted(baseDir_);
    case 3:
        return !label_.isEmpty();
    case 5:
        return networkPathAccepted(networkPath_);
    case 6:
        return urlPrefixAccepted(url_);
    default:
        return true;
    }
}

bool WizardFlow::skipped(int page) const {
    const bool connect = connectEnabled_ && connectChecked_;
    if (page == 5) return !(connect && typeIndex_ == kTypeLan);
    if (page == 6) return !(connect && typeIndex_ == kTypeWww);
    return false;
}

void WizardFlow::move(int direction) {
    if (page_ + direction < 0 || page_ + direction > kLastPage) return;
    do {
        nextEnabled_ = true;
        page_ += direction;
        nextEnabled_ = pageRuleHolds();
        if (page_ == 4) connectEnabled_ = typeAllowsConnect(typeIndex_);
    } while (skipped(page_));
    if (direction > 0 && !hasWebScheme(url_)) setUrl(withWebScheme(url_));
}

} // namespace reapwell
