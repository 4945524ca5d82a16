// Fuzz target: the index file writer and the saved Merkzettel, read back by the reader and
// the loader. Whatever the texts, a file that is written reads back line for line, each
// title stays one title line, and a refused write wrote nothing.
#include "collection.h"
#include "control_characters.h"
#include "fuzz_input.h"
#include "index_file.h"
#include "merkzettel_sharing.h"
#include "title_lists.h"
#include "tree_node.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace indexfile;

namespace {

QString filePath() {
    // Memory-backed where there is such a folder: the writer syncs every file.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/vorlune-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/vorlune-fuzz-XXXXXX"));
    if (!dir.isValid()) __builtin_trap();
    return dir.filePath(QStringLiteral("t.cd"));
}

// A line the writer refuses: it could not be read back as it is.
bool unstorable(const QString& line) {
    return hasControlCharacter(line) || hasUnpairedSurrogate(line);
}

bool anyUnstorable(const QStringList& lines) {
    return std::any_of(lines.begin(), lines.end(), unstorable);
}

bool readsAsTitle(const QString& line) {
    return !isBlankLine(line) && classifyLine(line).kind == LineKind::Title;
}

// Reads the file back line for line, then loads it as the catalogue does.
void readBack(const QString& path, const QStringList& written, Collection& c) {
    QStringList lines;
    QString error;
    if (!readIndexFile(path, lines, &error)) __builtin_trap();
    if (lines != written) __builtin_trap();
    if (!c.LoadMedium(path, &error)) __builtin_trap();
}

// Every title the loader filed in the medium's folder lists, in catalogue order.
QStringList loadedTitles(const Collection& c) {
    QStringList all;
    const TitleLists& lists = c.titleLists;
    for (int i = TitleLists::FixedCount; i < lists.count(); ++i)
        if (!lists.key(i).startsWith(QLatin1String("ALPHALIST::"))) all += lists.list(i);
    sortCatalogue(all);
    return all;
}

void toolIndex(FuzzInput& in) {
    ToolIndex index;
    index.banner = in.text();
    index.label = in.text();
    index.author = in.text();
    index.version = in.text();
    index.comment = in.text();
    index.typeCode = mediaTypeCode(MediaPad + in.number(MediaWww - MediaPad));
    index.resource = in.text();
    index.listing = in.texts(48);
    const QStringList lines = toolIndexLines(index);
    const QString path = filePath();
    QFile::remove(path);
    QString error;
    const bool written = writeIndexFile(path, lines, &error);
    // Refused exactly when a line cannot be stored; then no file is there.
    if (written == anyUnstorable(lines)) __builtin_trap();
    if (!written) {
        if (QFile::exists(path) || error.isEmpty()) __builtin_trap();
        return;
    }
    Collection c;
    readBack(path, lines, c);
    QStringList expected;
    for (const QString& t : index.listing)
        if (readsAsTitle(t)) expected.append(t);
    sortCatalogue(expected);
    if (c.titleCount != expected.size() || loadedTitles(c) != expected) __builtin_trap();
}

void savedMerkzettel(FuzzInput& in) {
    MerkzettelSharing::Context context;
    context.owner = in.text();
    context.versionString = in.text();
    context.now = QDateTime(QDate(2026, 12, 9), QTime(17, 22, 38));
    const QStringList titles = in.texts(48);
    const QString path = filePath();
    QFile::remove(path);
    QString error;
    const bool written = MerkzettelSharing::save(path, titles, context, &error);
    // Only the head's own texts can refuse the file: titles that cannot be saved are
    // left out.
    if (written == (unstorable(context.owner) || unstorable(context.versionString)))
        __builtin_trap();
    if (!written) return;
    const QStringList lines = savedMerkzettelLines(
        context.owner, MerkzettelSharing::dateTimeText(context.now), context.versionString, titles);
    Collection c;
    readBack(path, lines, c);
    // One medium of type PAD by the owner, one folder, exactly the titles that read as
    // titles.
    const TreeNode* medium = c.mediaListNode()->child(0);
    if (!medium || !medium->media || medium->media->MediaType != MediaPad) __builtin_trap();
    if (medium->media->Author != context.owner || c.folderCount != 1) __builtin_trap();
    QStringList expected;
    for (const QString& t : titles)
        if (!unstorable(t) && readsAsTitle(t)) expected.append(t);
    sortCatalogue(expected);
    if (c.titleCount != expected.size() || loadedTitles(c) != expected) __builtin_trap();
    // Titles that could not be saved do not leave other lines behind.
    if (lines.size() != 5 + expected.size()) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    if (in.byte() & 1)
        savedMerkzettel(in);
    else
        toolIndex(in);
    return 0;
}
