#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>

// The medium wizard's rules, without any widget: page rules and moves, the cleaning of
// the label and URL fields, the info-from-file rules and the index tool's parameters.
namespace reapwell {

inline constexpr int kPageCount = 9;
inline constexpr int kLastPage = kPageCount - 1;

inline constexpr int kLabelMaxLength = 60;
inline constexpr int kUrlMaxLength = 2048;
inline constexpr int kAuthorMaxLength = 1024;
inline constexpr int kVersionMaxLength = 1024;
inline constexpr int kCommentMaxLength = 4000;

inline constexpr int kTypeLan = 6;
inline constexpr int kTypeWww = 7;

struct MediumType {
    const char* caption; // UTF-8
    const char* code;    // empty for the default type
};

// The eight entries of the type list, in list order.
const std::array<MediumType, 8>& mediumTypes();

// The tool's TYPE code of a list index; empty for index 0 and out-of-range indexes.
QString typeCode(int typeIndex);

// True when the connect box may be used with this type (LAN and WWW).
inline bool typeAllowsConnect(int typeIndex) {
    return typeIndex > 5;
}

// A field's text together with its caret.
struct TextEdit {
    QString text;
    int caret = 0;
    bool operator==(const TextEdit&) const = default;
};

// Label cleaning: runs of spaces become one space, / \ | + * ? " < > : are removed,
// leading blanks are removed. The caret stays behind the same kept character.
TextEdit cleanLabel(QStringView text, int caret);

// A non-empty URL that does not end with "/" gets one appended; the caret stays.
TextEdit appendUrlSlash(QStringView text, int caret);

// The URL field after a change from previous: a "/" typed just before the appended
// trailing "/" steps over it instead of doubling it; otherwise appendUrlSlash.
TextEdit editUrl(QStringView previous, QStringView typed, int caret);

// Page 1: an existing directory given by an absolute path.
bool baseDirAccepted(const QString& path);

// Page 5: "\\" followed by at least one character of server name and another "\".
bool networkPathAccepted(QStringView path);

// Page 6 on entering it: "HTTP://" or "FTP://" (any case), then at least one character
// and a "/" after it.
bool urlPrefixAccepted(QStringView url);

// Page 6 while typing: the parsed URL has the scheme HTTP or FTP, a host, no port, no
// document after the last "/", no query and no fragment.
bool urlAccepted(const QString& url);

// True when the URL begins with "HTTP://" or "FTP://" (any case).
bool hasWebScheme(QStringView url);

// "http://" put in front of a URL without a web scheme.
QString withWebScheme(const QString& url);

struct InfoTexts {
    QString author;
    QString version;
    QString comment;
    bool operator==(const InfoTexts&) const = default;
};

// Author, version and comment taken from the lines of a text or index file: the values
// after the first "AUTHOR::", "VERSION::", "COMMENT::" lines (any case), else lines 1, 2
// and 3 where the file has them; missing values keep the current texts.
InfoTexts infoFromLines(const QStringList& lines, const InfoTexts& current);

// Reads a file with the index files' codec and applies infoFromLines. False (texts
// unchanged) when the file cannot be read.
bool infoFromFile(const QString& path, InfoTexts& texts, QString* error);

enum class RootOption { RootFolder, SubFolder };

struct ToolInput {
    QString baseDir;
    RootOption root = RootOption::RootFolder;
    QString label;
    int typeIndex = 0;
    bool connect = false; // the connect box is enabled and checked
    QString networkPath;
    QString url;
    QString infoFile;
};

struct ToolParameters {
    QString text;          // as shown to the user: ' BASEDIR="..." LABEL="..." ...'
    QStringList arguments; // the same parameters as separate arguments, without quotes
};

ToolParameters toolParameters(const ToolInput& input);

// The index file the tool will write: the output folder, a separator, label + ".cd".
QString indexFilePath(const QString& outputDir, const QString& label);

// The page text while the tool runs, with its line break as LF CR.
QString waitingText(const QString& label);
// The question before the wizard is closed without finishing, line break LF CR.
QString cancelQuestion();
// A text as a Qt label shows it: the CR that follows an LF would show as a blank.
QString shownText(QString text);

// The owner's full name from the password database, else the login name.
QString registeredOwner();

// The login name from the password database, else $USER.
QString loginName();

// The folders the folder tree opens with, those that exist: the home folder, then the
// folders below which this user's removable media are mounted ("<parent>/<user>" for
// each parent, by default /media and /run/media).
QStringList openFolders(const QString& home, const QString& user,
                        const QStringList& mediaParents = {QStringLiteral("/media"),
                                                           QStringLiteral("/run/media")});

// Eight upper-case hexadecimal digits of a millisecond tick count.
QString tickName(quint64 milliseconds);
// The same for the system's monotonic clock.
QString tickName();

// The wizard's pages and buttons as its controls hold them.
class WizardFlow {
public:
    int page() const { return page_; }
    bool nextEnabled() const { return nextEnabled_; }
    bool backEnabled() const { return page_ > 0; }
    bool finishVisible() const { return page_ == kLastPage; }
    bool connectEnabled() const { return connectEnabled_; }

    void next() { move(1); }
    void back() { move(-1); }

    const QString& baseDir() const { return baseDir_; }
    void setBaseDir(const QString& path);

    RootOption rootOption() const { return root_; }
    void setRootOption(RootOption option) { root_ = option; }

    const QString& label() const { return label_; }
    void setLabel(const QString& text); // cleaned

    int typeIndex() const { return typeIndex_; }
    void setTypeIndex(int index);

    bool connectChecked() const { return connectChecked_; }
    void setConnectChecked(bool on) { connectChecked_ = on; }

    const QString& networkPath() const { return networkPath_; }
    void setNetworkPath(const QString& path);

    const QString& url() const { return url_; }
    void setUrl(const QString& text); // with the slash appended

    ToolParameters parameters(const QString& infoFile) const;

private:
    void move(int direction);
    bool pageRuleHolds() const;
    bool skipped(int page) const;

    int page_ = 0;
    bool nextEnabled_ = true;
    bool connectEnabled_ = false;
    QString baseDir_;
    RootOption root_ = RootOption::RootFolder;
    QString label_;
    int typeIndex_ = 0;
    bool connectChecked_ = false;
    QString networkPath_;
    QString url_ = QStringLiteral("http://");
};

} // namespace reapwell
