// Fuzz target: path template expansion. For any template, title line, profile name and
// free parameter the expansion is empty or a path inside the template's base folder with
// no "." or ".." component and no NUL; corrected templates pass the check.
#include "fuzz_input.h"
#include "path_template.h"

#include <cstddef>
#include <cstdint>

using namespace pathtemplate;

namespace {

// The components of a path: for a share below "\\\\", else below "/" when absolute.
QStringList components(const QString& path, bool share) {
    if (share) return path.mid(2).split(u'\\');
    return (path.startsWith(u'/') ? path.mid(1) : path).split(u'/');
}

// The base folder's components with "." and ".." resolved as a file system would.
bool cleanBase(const QString& base, bool share, QStringList& out) {
    for (const QString& p : components(base, share)) {
        if (p.isEmpty() || p == u".") continue;
        if (p == u"..") {
            if (out.isEmpty()) return false;
            out.removeLast();
        } else {
            out.append(p);
        }
    }
    // A share path keeps its server and share.
    return !share || out.size() >= 2;
}

void checkExpansion(const QString& pathTemplate, const QString& titleLine, const Context& context) {
    const QString out = ExpandPathTemplate(pathTemplate, titleLine, context);
    if (out.isEmpty()) return;
    if (out.contains(QChar(0))) __builtin_trap();
    const bool share = isSharePath(pathTemplate);
    if (share && !out.startsWith(u"\\\\")) __builtin_trap();
    if (!share && pathTemplate.startsWith(u'/') != out.startsWith(u'/')) __builtin_trap();
    const QStringList parts = components(out, share);
    for (const QString& p : parts)
        if (p.isEmpty() || p == u"." || p == u"..") __builtin_trap();
    QStringList base;
    if (!cleanBase(baseFolder(pathTemplate), share, base)) __builtin_trap();
    if (parts.size() <= base.size() || parts.mid(0, base.size()) != base) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t flags = in.byte();
    const QString pathTemplate = in.text();
    const QString titleLine = in.text();
    Context context;
    context.profile = in.text();
    context.parameter = in.text();
    context.date = QDate(2026, 12, 9).addDays(in.byte());
    context.locale = QLocale(flags & 1 ? QLocale::German : QLocale::English);

    checkExpansion(pathTemplate, titleLine, context);
    // The corrected template is the one that profiles keep.
    checkExpansion(CorrectPathTemplate(pathTemplate, QStringLiteral("/home/nutzer")), titleLine,
                   context);
    ExpandCommand(pathTemplate, context);
    return 0;
}
