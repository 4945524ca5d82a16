// Fuzz target: the index file writer and the saved Merkzettel, read back by the reader and
// the loader. Whatever the texts, a file that is written reads back line for line, each
// title stays one title line, and a refused write wrote nothing.
#include "collection.h"
#include "control_characters.h"
#include "fuzz_input.h"
#include "index_file.h"
#include "merkzettel_sharing.h"

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

// Every title the loader filed, in catalogue order.
QStringList loadedTitles(const ParsedMedium& m) {
    QStringList all = m.rootTitles;
    for (const ParsedFolder& f : m.folders)
        all += f.titles;
    sortCatalogue(all);
    return all;
}

bool readsAsTitle(const QString& line) {
    return !isBlankLine(line) && classifyLine(line).kind == LineKind::Title;
}

ParsedMedium readBack(const QString& path, const QStringList& written) {
    QStringList lines;
    QString error;
    if (!readIndexFile(path, lines, &error)) __builtin_trap();
    if (lines != written) __builtin_trap();
    return Collection::parseMedium(bodyLinesForLoading(lines));
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
    const ParsedMedium m = readBack(path, lines);
    QStringList expected;
    for (const QString& t : index.listing)
        if (readsAsTitle(t)) expected.append(t);
    sortCatalogue(expected);
    if (m.titleCount != expected.size() || loadedTitles(m) != expected) __builtin_trap();
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
    const ParsedMedium m = readBack(path, lines);
    // One list of type PAD by the owner with exactly the titles that read as titles.
    if (m.mediaTypes.size() != 1 || m.mediaTypes[0].first != MediaPad) __builtin_trap();
    if (m.author != context.owner || m.folders.size() != 1) __builtin_trap();
    QStringList expected;
    for (const QString& t : titles)
        if (!unstorable(t) && readsAsTitle(t)) expected.append(t);
    sortCatalogue(expected);
    if (m.titleCount != expected.size() || loadedTitles(m) != expected) __builtin_trap();
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
