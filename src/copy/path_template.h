#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

// Destination path templates: "/media/musik/%A/%T%E" and the like, with the placeholders
// %A %C %D %E %F %M %P %T %? (either case), their check, automatic correction and
// expansion for one title line.
namespace pathtemplate {

// The profile name used when no profile is active, and the free parameter's default.
inline const QString kNoProfile = QStringLiteral("(Kein Profil)");
inline const QString kNoParameter = QStringLiteral("(Kein Parameter)");

// Valid when every "%" introduces a placeholder, the template names a file part ("%F",
// or "%E" not directly after a separator), and it is either an absolute local path
// without "//" and "\" or a share path "\\server\share\...".
bool CheckPathTemplate(const QString& pathTemplate);

// The template corrected until it passes the check; `home` stands in front of relative
// templates and replaces an old drive prefix ("X:\"); "smb://server/share/..." becomes
// "\\server\share\...".
QString CorrectPathTemplate(const QString& pathTemplate, const QString& home);

// True for a template of the form "\\server\share\...".
bool isSharePath(const QString& path);

// The parts of a title line "<label>:\<path>\<file>" that the placeholders use.
struct TitleParts {
    QString label;       // before the first ":"
    QString fileName;    // with extension
    QString displayName; // without extension
    QString extension;   // with its dot, as written; empty when there is none
    QString artist;      // display name up to its first " - ", else all of it
    QString title;       // display name after its first " - ", else all of it
};
TitleParts splitTitleLine(const QString& titleLine);

struct Context {
    QString profile = kNoProfile;
    QString parameter = kNoParameter;
    QDate date = QDate::currentDate();
    QLocale locale;
};

// The short date with "-" between its parts.
QString dateText(const QDate& date, const QLocale& locale);

// A value made safe to stand inside one path component: "/" and "\" become "-", NUL is
// dropped, and "." or ".." becomes "_".
QString componentValue(const QString& value);

// The same for a path on a share: also the characters a share reserves (: * ? " < > |
// and control characters) become "_".
QString shareComponentValue(const QString& value);

// The folder a template names before its first placeholder (for a share path in its
// "\\server\share\..." form); the expansion stays below it.
QString baseFolder(const QString& pathTemplate);

// Replaces the placeholders in the order %A %C %D %E %F %M %P %T %?: each pass replaces
// every occurrence present at that time; a value inserted by one pass is not searched by
// that pass but by the later ones. Returns an empty text when the result would leave the
// template's base folder or names no file (`error` then says why).
QString ExpandPathTemplate(const QString& pathTemplate, const QString& titleLine,
                           const Context& context, QString* error = nullptr);

// Replaces only %D, %P and %? (in this order, the same way), with the values as they are.
QString ExpandCommand(const QString& command, const Context& context);

} // namespace pathtemplate
