// Fuzz target: the script files "data.js" and "stats.js". The file's bytes, decoded as the
// page reads them (a byte order mark means UTF-8, else Windows-1252) and run by a
// JavaScript engine, give back exactly the texts that went in.
#include "collection.h"
#include "data_js.h"
#include "fuzz_input.h"
#include "text_codec.h"
#include "web_pages.h"

#include <QCoreApplication>
#include <QJSEngine>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

QJSEngine* engine = nullptr;

const char* const kNames[] = {"status",    "artist",    "title",    "position", "duration",
                              "bitrate",   "filesize",  "repeat",   "shuffle",  "prevFiles",
                              "nextFiles", "medium",    "resource", "author",   "version",
                              "comment",   "mediatype", "folders",  "files"};

// Runs the file as the page's script element does.
void run(const QString& text) {
    QJSValue global = engine->globalObject();
    for (const char* name : kNames)
        global.setProperty(QString::fromLatin1(name), QJSValue());
    const QByteArray bytes = datajs::encode(text);
    const QString read = bytes.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(bytes.mid(3))
                                                          : textcodec::decodeWindows1252(bytes);
    const QJSValue result = engine->evaluate(read);
    if (result.isError()) __builtin_trap();
}

QJSValue global(const char* name) {
    return engine->globalObject().property(QString::fromLatin1(name));
}

void expectText(const char* name, const QString& want) {
    const QJSValue v = global(name);
    if (!v.isString() || v.toString() != want) __builtin_trap();
}

void expectNumber(const char* name, qint64 want) {
    const QJSValue v = global(name);
    if (!v.isNumber() || v.toNumber() != double(want)) __builtin_trap();
}

void expectList(const char* name, const QStringList& want) {
    const QJSValue v = global(name);
    if (!v.isArray() || v.property(QStringLiteral("length")).toInt() != want.size())
        __builtin_trap();
    for (qsizetype i = 0; i < want.size(); ++i) {
        const QJSValue item = v.property(quint32(i));
        if (!item.isString() || item.toString() != want[i]) __builtin_trap();
    }
}

void dataJs(FuzzInput& in) {
    const auto writer = datajs::Writer(in.number(2));
    datajs::NowPlaying now;
    const uint8_t flags = in.byte();
    now.paused = flags & 1;
    now.repeat = flags & 2;
    now.shuffle = flags & 4;
    now.position = qint64(in.byte()) << 16 | in.byte() << 8 | in.byte();
    now.duration = qint64(in.byte()) << 16 | in.byte() << 8 | in.byte();
    now.fileSize = qint64(in.byte()) << 24 | in.byte() << 16 | in.byte();
    now.displayName = in.text();
    now.bitRate = in.text();
    now.previous = in.texts(16);
    now.next = in.texts(16);
    run(datajs::build(writer, now, QLocale(QLocale::German)));

    const bool stopped = writer == datajs::Writer::Stopped;
    const QJSValue repeat = global("repeat");
    const QJSValue shuffle = global("shuffle");
    if (!repeat.isBool() || repeat.toBool() != now.repeat) __builtin_trap();
    if (!shuffle.isBool() || shuffle.toBool() != now.shuffle) __builtin_trap();
    if (stopped) {
        expectText("status", QStringLiteral("stopped"));
        expectList("prevFiles", {});
        expectList("nextFiles", {});
        return;
    }
    const qsizetype dash = now.displayName.indexOf(QStringLiteral(" - "));
    if (dash >= 0) {
        expectText("artist", now.displayName.left(dash));
        expectText("title", now.displayName.mid(dash + 3));
    } else {
        expectText("title", now.displayName);
    }
    expectText("bitrate", now.bitRate);
    expectNumber("position", now.position);
    expectNumber("duration", now.duration);
    expectList("prevFiles", now.previous);
    expectList("nextFiles", now.next);
}

void statsJs(FuzzInput& in) {
    MyMediaInfo info;
    info.MediaType = in.byte();
    info.FolderCount = qint32(in.byte()) << 8 | in.byte();
    info.TitleCount = qint32(in.byte()) << 16 | in.byte();
    const QString medium = in.text();
    info.Resource = in.text();
    info.Author = in.text();
    info.Version = in.text();
    info.Comment = in.text();
    run(webpages::statsJs(medium, info));
    expectText("medium", medium);
    expectText("resource", info.Resource);
    expectText("author", info.Author);
    expectText("version", info.Version);
    expectText("comment", info.Comment);
    expectNumber("mediatype", info.MediaType);
    expectNumber("folders", info.FolderCount);
    expectNumber("files", info.TitleCount);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    engine = new QJSEngine;
    // The engine keeps what an input allocated until it collects garbage, so libFuzzer's
    // leak check would scan all memory after nearly every input (97% of the time, 100
    // inputs a second instead of 3,000): off, unless the command line says otherwise. The
    // replay tests under the sanitizers still check for leaks at exit.
    static std::vector<char*> args(*argv, *argv + *argc);
    static char noLeakScan[] = "-detect_leaks=0";
    args.insert(args.begin() + 1, noLeakScan); // before the command line's own flags
    args.push_back(nullptr);
    *argv = args.data();
    *argc = int(args.size()) - 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    if (in.byte() & 1)
        statsJs(in);
    else
        dataJs(in);
    return 0;
}
