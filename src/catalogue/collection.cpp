#include "collection.h"

#include "flat_table.h"
#include "folded_prefix.h"
#include "free_memory.h"
#include "index_file.h"
#include "name_order.h"
#include "text_codec.h"
#include "title_text.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

using namespace indexfile;

namespace {

constexpr int kFolderIcon = 5;
constexpr int kFolderSelectedIcon = 6;

struct FixedNode {
    const char* text;
    int icon;
};
constexpr FixedNode kFixedNodes[] = {{"Datenträger-Liste", 1}, {"Alphabetische Liste", 2},
                                     {"Suchergebnisse", 3},    {"Merkzettel", 7},
                                     {"Meine Charts", 16},     {"Wiedergabeliste", 15}};

bool needsDetailsEscape(char16_t c) {
    return c == u' ' || c == u'*' || c == u'#' || c == u'%' || c == u'<' || c == u'>' || c >= 0x80;
}

void appendPercent(QString& out, unsigned char byte) {
    static const char hex[] = "0123456789ABCDEF";
    out += u'%';
    out += QLatin1Char(hex[byte >> 4]);
    out += QLatin1Char(hex[byte & 15]);
}

// The label encoded for the details query, appended to `out`.
void appendDetailsLabel(QString& out, QStringView label) {
    for (qsizetype i = 0; i < label.size(); ++i) {
        const char16_t c = label[i].unicode();
        if (!needsDetailsEscape(c)) {
            out += QChar(c);
            continue;
        }
        const int b = textcodec::windows1252Byte(c);
        if (b >= 0) {
            appendPercent(out, static_cast<unsigned char>(b));
            continue;
        }
        // Outside Windows-1252: the UTF-8 bytes, surrogate pairs kept together (a lone
        // surrogate gives "?", as the library's encoder does).
        char32_t cp = c;
        if (QChar::isHighSurrogate(c) && i + 1 < label.size() && label[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(c, label[++i].unicode());
        } else if (QChar::isSurrogate(c)) {
            appendPercent(out, '?');
            continue;
        }
        unsigned char bytes[4];
        int n = 0;
        if (cp < 0x800) {
            bytes[n++] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            bytes[n++] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            bytes[n++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        } else {
            bytes[n++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            bytes[n++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            bytes[n++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        }
        bytes[n++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        for (int k = 0; k < n; ++k)
            appendPercent(out, bytes[k]);
    }
}

} // namespace

QString encodeDetailsLabel(QStringView label) {
    QString out;
    out.reserve(label.size());
    appendDetailsLabel(out, label);
    return out;
}

QString buildDetails(const MyMediaInfo& info, QStringView label) {
    // One text: room for a label of blanks (three characters each) too.
    QString out;
    out.reserve(100 + info.Author.size() + info.Version.size() + info.Comment.size() +
                3 * label.size());
    const auto number = [&out](qint32 n) {
        char digits[16];
        out += QLatin1StringView(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
    };
    out += QLatin1StringView("MediaFolders=");
    number(info.FolderCount);
    out += QLatin1StringView("&MediaFiles=");
    number(info.TitleCount);
    out += QLatin1StringView("&Author=");
    out += info.Author;
    out += QLatin1StringView("&Version=");
    out += info.Version;
    out += QLatin1StringView("&Comment=");
    out += info.Comment;
    out += QLatin1StringView("&Label=");
    appendDetailsLabel(out, label);
    out += u'&';
    return out;
}

Collection::Collection()
    : root_(std::make_unique<TreeNode>(QStringLiteral("Komplette Sammlung"), 0, 0)) {
    // The texts are made once and shared by every collection.
    static const std::vector<QString> texts = [] {
        std::vector<QString> t;
        for (const FixedNode& f : kFixedNodes)
            t.push_back(QString::fromUtf8(f.text));
        return t;
    }();
    root_->reserveChildren(std::size(kFixedNodes));
    for (size_t i = 0; i < std::size(kFixedNodes); ++i)
        root_->addChild(texts[i], kFixedNodes[i].icon, kFixedNodes[i].icon);
}

Collection::~Collection() = default;

HashedKey Collection::uniqueName(const ParsedFolder& f, QString* unique, bool* isNew) {
    // Keys are looked up without regard to case, so a name that differs from an
    // existing key only in case is numbered too, or its folder would show the other
    // folder's titles.
    if (titleLists.indexOfFolded(f.folded) < 0) {
        *isNew = true;
        *unique = f.name;
        return f.folded;
    }
    *isNew = false;
    int n = std::max(2, nextSuffix_.value(f.folded, 2));
    // The candidates are built in a buffer kept from call to call (a candidate looked up
    // shares it only until the next); the name found is copied into the pool (the lists
    // keep no copy of the key).
    QString& text = keyBuffer_;
    text.resize(0);
    text.append(f.folded.text);
    const qsizetype base = text.size();
    for (;; ++n) {
        char digits[16];
        const qsizetype len = std::to_chars(digits, digits + sizeof digits, n).ptr - digits;
        text.truncate(base);
        text += QLatin1StringView(" (");
        text += QLatin1StringView(digits, len);
        text += u')';
        HashedKey candidate(text);
        if (titleLists.indexOfFolded(candidate) < 0) {
            nameBuffer_.resize(0);
            nameBuffer_.append(f.name);
            nameBuffer_.append(QStringView(text).sliced(base));
            const QStringView name = nameBuffer_;
            numberedNames_.copies(&name, 1, unique);
            nextSuffix_.insert(f.folded, n + 1);
            return candidate;
        }
    }
}

TreeNode* Collection::findAlphaNode(TreeNode* alphaParent, const HashedKey& name) const {
    const QVarLengthArray<TreeNode*, 1>* it = alphaByName_.find(name);
    if (!it) return nullptr;
    // A parent whose descendants are all its children: itself, else the first child of the
    // name (children of equal text keep the order they were added in).
    if (alphaParent->descendantCount() == alphaParent->childCount()) {
        if (alphaParent != alphaListNode() && alphaParent->text == name.text) return alphaParent;
        return alphaChildren_.find(alphaParent, name);
    }
    // Under the list itself every node of that name is a candidate: the first is kept first.
    if (alphaParent == alphaListNode()) return it->front();
    // Below a top node: itself, else the first kept for it.
    if (alphaParent->parent() == alphaListNode()) {
        if (alphaParent->text == name.text) return alphaParent;
        return firstBelowTop_.find(alphaParent, name);
    }
    // Walk whichever is smaller: the subtree itself, or the nodes of that name.
    if (alphaParent->descendantCount() < qsizetype(it->size()))
        return alphaParent->findInSubtree(name.text);
    TreeNode* best = nullptr;
    for (TreeNode* candidate : *it) {
        if (!alphaParent->isAncestorOrSelfOf(candidate)) continue;
        if (!best || precedesInPreorder(candidate, best)) best = candidate;
    }
    return best;
}

namespace {

// The folder a title is filed under: the folder line of its own folder, or failing that of
// the nearest folder above it. Folders come before their contents in the sorted order, so
// the folders met so far suffice.
class TitleFiler {
public:
    // Starts on a file: the paths of its folder lines, folded, in the order of the lines.
    // The tables keep their room from file to file.
    void reset(const std::vector<QString>* foldedPaths) {
        paths_ = foldedPaths;
        byPath_.clear();
        byPath_.reserve(qsizetype(foldedPaths->size()));
        lastPath_ = {};
        lastFolder_ = -1;
    }

    // Called for every folder line in processing order; a later line of the same path wins.
    void addFolder(int index) {
        byPath_.insert((*paths_)[size_t(index)], index);
        lastPath_ = {};
    }

    // Index of the folder for the title, -1 when no folder of the medium holds it.
    int folderOf(QStringView line) {
        const qsizetype cut = titletext::lastOf(line, u'\\');
        if (cut < 0) return -1;
        QStringView path = line.left(cut);
        // Titles of one folder follow each other: remember the last answer (mostly written
        // alike, so compared as written first).
        if (!lastPath_.isNull() && path.size() == lastPath_.size() &&
            (std::memcmp(path.data(), lastPath_.data(), size_t(path.size()) * 2) == 0 ||
             path.compare(lastPath_, Qt::CaseInsensitive) == 0))
            return lastFolder_;
        lastPath_ = path;
        lastFolder_ = -1;
        // The path and each shorter path ending before a backslash, longest first; the
        // prefix hashes make each look-up cost the same however deep the line.
        // Folded in a buffer kept from line to line (in place while nothing else holds it).
        folded_.resize(path.size());
        std::memcpy(folded_.data(), path.data(), size_t(path.size()) * sizeof(QChar));
        if (!textcodec::foldLatin1InPlace(reinterpret_cast<char16_t*>(folded_.data()),
                                          folded_.size()))
            folded_ = std::move(folded_).toCaseFolded();
        const QString& folded = folded_;
        hashes_.reset(folded);
        for (qsizetype len = folded.size(); len >= 0;
             len = len > 0 ? titletext::lastOf(QStringView(folded).left(len), u'\\') : -1) {
            if (const int* found = byPath_.find(QStringView(folded).left(len), hashes_.of(len))) {
                lastFolder_ = *found;
                break;
            }
        }
        return lastFolder_;
    }

private:
    const std::vector<QString>* paths_ = nullptr;
    foldedprefix::FoldedMap<int> byPath_;
    foldedprefix::PrefixHashes hashes_;
    QString folded_;
    QStringView lastPath_;
    int lastFolder_ = -1;
};

// The work space of reading a file, kept from file to file on each thread: a medium costs
// no allocation for it.
struct ParseScratch {
    std::vector<QStringView> body;
    std::vector<int> open;
    std::vector<ClassifiedLine> classes;
    std::vector<QStringView> paths, nameViews, titles, grouped;
    std::vector<QString> foldedPaths, names, foldedNames;
    std::vector<int> titleList;
    std::vector<qsizetype> listStarts, at;
    std::vector<std::vector<TitlePart>> parts;
    TitleFiler filer;

    // Lets go of the texts; a large file's room is given back.
    void finish() {
        if (body.capacity() > size_t(kKeptRoom)) {
            *this = ParseScratch();
            return;
        }
        foldedPaths.clear();
        names.clear();
        foldedNames.clear();
        parts.clear();
        filer.reset(&foldedPaths);
    }
};

ParseScratch& parseScratch() {
    static thread_local ParseScratch scratch;
    return scratch;
}

} // namespace

ParsedMedium Collection::parseLines(const QStringList& lines) {
    ParseScratch& s = parseScratch();
    bodyViewsForLoading(lines, s.body);
    ParsedMedium m = parseMedium(s.body);
    s.finish();
    return m;
}

ParsedMedium Collection::parseMedium(const std::vector<QStringView>& body) {
    ParseScratch& s = parseScratch();
    ParsedMedium m;
    // The folder lines met so far that are ancestors of the current one. Sorted lines
    // put a folder before everything below it, so the parent of a folder, when it has
    // a line, is on this stack.
    std::vector<int>& open = s.open;
    open.clear();
    // Each line is classified once, here.
    std::vector<ClassifiedLine>& classes = s.classes;
    classes.clear();
    classes.reserve(body.size());
    std::vector<QStringView>& paths = s.paths;
    paths.clear();
    paths.reserve(body.size());
    for (QStringView line : body) {
        classes.push_back(classifyLine(line));
        if (classes.back().kind == LineKind::Folder) paths.push_back(line.chopped(1));
    }
    // Room for every folder line at once, rather than moving the folders at each growth;
    // their paths folded for the filer, all in one block.
    m.folders.reserve(paths.size());
    const qsizetype folderLines = qsizetype(paths.size());
    std::vector<QString>& foldedPaths = s.foldedPaths;
    foldedPaths.assign(paths.size(), QString());
    textcodec::copiesSharingBlock(paths.data(), folderLines, foldedPaths.data(), true);
    // The folders' names, as written and folded: a block for each rather than two texts
    // for every folder.
    std::vector<QStringView>& nameViews = s.nameViews;
    nameViews.clear();
    nameViews.reserve(paths.size());
    for (QStringView path : paths)
        nameViews.push_back(path.mid(titletext::lastOf(path, u'\\') + 1));
    std::vector<QString>&names = s.names, &foldedNames = s.foldedNames;
    names.assign(paths.size(), QString());
    foldedNames.assign(paths.size(), QString());
    textcodec::copiesSharingBlock(nameViews.data(), folderLines, names.data());
    textcodec::copiesSharingBlock(nameViews.data(), folderLines, foldedNames.data(), true);
    TitleFiler& filer = s.filer;
    filer.reset(&foldedPaths);
    // The titles in order, each with its list: 0 for the medium's root, 1 + the folder's
    // index for a folder.
    std::vector<QStringView>& titles = s.titles;
    std::vector<int>& titleList = s.titleList;
    titles.clear();
    titleList.clear();
    titles.reserve(body.size() - paths.size());
    titleList.reserve(body.size() - paths.size());
    for (size_t lineIndex = 0; lineIndex < body.size(); ++lineIndex) {
        const QStringView line = body[lineIndex];
        const ClassifiedLine& cl = classes[lineIndex];
        switch (cl.kind) {
        case LineKind::Marker:
            break;
        case LineKind::Author:
            m.author = cl.value.toString();
            break;
        case LineKind::Version:
            m.version = cl.value.toString();
            break;
        case LineKind::Comment:
            m.comment = cl.value.toString();
            break;
        case LineKind::Label:
            if (!cl.value.isEmpty()) m.label = cl.value.toString();
            break;
        case LineKind::Style: {
            QStringView attrs, target;
            if (!splitStyleValue(cl.value, attrs, target)) break;
            TitleStyle style;
            applyStyleAttributes(attrs, style);
            m.styles.emplace_back(target.toString(), style);
            break;
        }
        case LineKind::MediaType: {
            // The code and the resource after the first "::" (the code's text is not kept).
            const qsizetype sep = cl.value.indexOf(u"::");
            const int number = mediaTypeNumber(sep < 0 ? cl.value : cl.value.left(sep));
            if (number != MediaUnknown)
                m.mediaTypes.emplace_back(number,
                                          sep < 0 ? QString() : cl.value.mid(sep + 2).toString());
            break;
        }
        case LineKind::Folder: {
            const size_t k = m.folders.size();
            const QStringView path = paths[k];
            const qsizetype cut = titletext::lastOf(path, u'\\');
            while (!open.empty()) {
                const qsizetype len = m.folders[size_t(open.back())].pathLength;
                if (len < path.size() && path[len] == u'\\' &&
                    path.left(len).compare(paths[size_t(open.back())].left(len),
                                           Qt::CaseInsensitive) == 0)
                    break;
                open.pop_back();
            }
            ParsedFolder f;
            f.pathLength = path.size();
            f.name = std::move(names[k]);
            f.folded = HashedKey(std::move(foldedNames[k]));
            f.exact = HashedKey(f.name);
            if (!open.empty() && m.folders[size_t(open.back())].pathLength == cut)
                f.parent = open.back();
            open.push_back(int(k));
            m.folders.push_back(std::move(f));
            filer.addFolder(int(k));
            break;
        }
        case LineKind::Title:
            titles.push_back(line);
            titleList.push_back(filer.folderOf(line) + 1);
            break;
        }
    }
    m.titleCount = int(titles.size());
    // A list of remembered titles from many media has one folder line without a label:
    // every title belongs to it, whatever its label (in the order of the lines).
    if (m.folders.size() == 1 && paths[0].startsWith(u':') &&
        std::find(titleList.cbegin(), titleList.cend(), 0) != titleList.cend())
        std::fill(titleList.begin(), titleList.end(), 1);
    // The titles stay for as long as the collection: their own block, without the file's
    // other lines, grouped by list in the order of the lines.
    const size_t lists = m.folders.size() + 1;
    std::vector<qsizetype>& listStarts = s.listStarts;
    listStarts.assign(lists + 1, 0);
    for (int l : titleList)
        ++listStarts[size_t(l) + 1];
    for (size_t l = 1; l <= lists; ++l)
        listStarts[l] += listStarts[l - 1];
    std::vector<QStringView>& grouped = s.grouped;
    grouped.resize(titles.size());
    {
        std::vector<qsizetype>& at = s.at;
        at.assign(listStarts.begin(), listStarts.end() - 1);
        for (size_t i = 0; i < titles.size(); ++i)
            grouped[size_t(at[size_t(titleList[i])]++)] = titles[i];
    }
    std::vector<std::vector<TitlePart>>& parts = s.parts;
    titleblock::pack(grouped.data(), listStarts.data(), lists, parts);
    m.rootParts = std::move(parts[0]);
    for (size_t i = 0; i < m.folders.size(); ++i)
        m.folders[i].parts = std::move(parts[i + 1]);
    return m;
}

void Collection::addMedium(const QString& defaultName, const QStringList& fileLines) {
    applyMedium(defaultName, parseLines(fileLines));
}

void Collection::applyMedium(const QString& defaultName, ParsedMedium&& m) {
    ++mediaCount;
    TreeNode* mediaList = mediaListNode();
    TreeNode* alphaList = alphaListNode();
    TreeNode* medium =
        mediaList->addChild(m.label.isEmpty() ? defaultName : m.label, MediaUnknown, MediaUnknown);
    auto info = std::make_unique<MyMediaInfo>();
    info->Author = std::move(m.author);
    info->Version = std::move(m.version);
    info->Comment = std::move(m.comment);
    for (auto& [target, style] : m.styles)
        titleStyles.add(target, style);
    for (auto& [number, resource] : m.mediaTypes) {
        info->MediaType = quint8(number);
        medium->icon = medium->selectedIcon = number;
        if (number == MediaLan || number == MediaWww) {
            info->Resource = resource;
            if (!resource.isEmpty() && connector_) {
                if (number == MediaLan)
                    connector_->ConnectShare(medium->text, resource);
                else
                    connector_->ConnectWebMedium(medium->text, resource);
            }
        }
    }
    // Titles in the medium's root (or in no folder of the medium) are listed under the
    // medium node; media of one label share the list.
    if (!m.rootParts.empty()) {
        const QString key = TitleLists::mediumRootKey(medium->text);
        const HashedKey folded = foldedKey(key);
        int index = titleLists.indexOfFolded(folded);
        if (index < 0) index = titleLists.add(key, folded);
        titleLists.appendParts(index, std::move(m.rootParts));
    }

    // A folder adds its list and, for a new name, its alphabetical list.
    titleLists.reserveMore(2 * qsizetype(m.folders.size()));
    const int alphaTopBefore = alphaList->childCount();
    // Folders are merged into the first node of their name in the order the list shows,
    // also for top nodes added by this medium.
    alphaList->sortChildrenLater();
    medium->reserveChildren(size_t(std::count_if(
        m.folders.cbegin(), m.folders.cend(), [](const ParsedFolder& f) { return f.parent < 0; })));
    auto& nodes = folderNodes_; // folder and alphabetical node
    nodes.clear();
    nodes.reserve(m.folders.size());
    for (ParsedFolder& f : m.folders) {
        TreeNode* parent = f.parent < 0 ? medium : nodes[size_t(f.parent)].first;
        TreeNode* alphaParent = f.parent < 0 ? alphaList : nodes[size_t(f.parent)].second;

        bool isNew = false;
        QString unique;
        const HashedKey uniqueKey = uniqueName(f, &unique, &isNew);
        int alphaIndex = isNew ? -1 : titleLists.indexOfAlphaList(f.folded);
        if (alphaIndex < 0) alphaIndex = titleLists.addAlphaList(f.name, f.folded);
        const int folderIndex = titleLists.add(unique, uniqueKey);
        titleLists.appendParts(alphaIndex, f.parts);
        titleLists.appendParts(folderIndex, std::move(f.parts));

        TreeNode* folderNode = parent->addChild(unique, kFolderIcon, kFolderSelectedIcon);
        TreeNode* alphaNode = isNew ? nullptr : findAlphaNode(alphaParent, f.exact);
        if (!alphaNode) {
            alphaNode = alphaParent->addChild(f.name, kFolderIcon, kFolderSelectedIcon);
            // The first in preorder stays in front (adding nodes keeps the order of others).
            auto& named = alphaByName_[f.exact];
            named.push_back(alphaNode);
            if (precedesInPreorder(alphaNode, named.front()))
                std::swap(named.front(), named.back());
            if (!alphaChildren_.find(alphaParent, f.exact))
                alphaChildren_.set(alphaParent, f.exact, alphaNode);
            if (alphaParent != alphaList) {
                const TreeNode* top = alphaParent;
                while (top->parent() != alphaList)
                    top = top->parent();
                const TreeNode* first = firstBelowTop_.find(top, f.exact);
                if (!first || precedesInPreorder(alphaNode, first))
                    firstBelowTop_.set(top, f.exact, alphaNode);
            }
        }
        nodes.emplace_back(folderNode, alphaNode);
    }
    if (nodes.capacity() > size_t(kKeptRoom)) nodes = {};
    info->FolderCount = qint32(m.folders.size());
    info->TitleCount = m.titleCount;
    folderCount += info->FolderCount;
    titleCount += info->TitleCount;
    info->Details = buildDetails(*info, medium->text);
    medium->media = std::move(info);

    medium->sortChildren();
    mediaList->sortChildrenLater();
    if (alphaList->childCount() != alphaTopBefore) alphaList->sortChildrenLater();
    cdnames.insert(std::upper_bound(cdnames.begin(), cdnames.end(), medium->text,
                                    [](const QString& a, const QString& b) {
                                        return compareCatalogue(a, b) < 0;
                                    }),
                   medium->text);
}

bool Collection::LoadMedium(const QString& fileName, QString* error) {
    const QString path =
        QFileInfo(fileName).isAbsolute() ? fileName : QDir(CatalogDir).filePath(fileName);
    QStringList lines;
    if (!readIndexFile(path, lines, error)) return false;
    addMedium(QFileInfo(fileName).completeBaseName(), lines);
    return true;
}

QStringList Collection::indexFilesIn(const QString& dir) {
    QDir d(dir);
    d.setNameFilters({QStringLiteral("*.cd")});
    // System: broken links are listed too, so that they are reported rather than missed.
    d.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    d.setSorting(QDir::Unsorted);
    QStringList names = d.entryList();
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return compareCatalogue(a, b) < 0; });
    return names;
}

LoadReport Collection::LoadAllMedia(const std::function<void(int, int)>& progress) {
    mediaCount = folderCount = titleCount = 0;
    LoadReport report;
    const QStringList names = indexFilesIn(CatalogDir);
    const int total = int(names.size());
    const QDir dir(CatalogDir);

    struct Slot {
        bool ok = false;
        QString error;
        ParsedMedium medium;
    };
    std::vector<std::optional<Slot>> parsed(static_cast<size_t>(total));
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<int> next{0};
    int waitingFor = -1; // the file the calling thread waits for, under the mutex

    auto worker = [&] {
        for (;;) {
            const int i = next.fetch_add(1);
            if (i >= total) return;
            Slot s;
            QStringList lines;
            s.ok = readIndexFile(dir.filePath(names[i]), lines, &s.error);
            if (s.ok) s.medium = parseLines(lines);
            bool wake;
            {
                std::lock_guard lock(mutex);
                parsed[size_t(i)] = std::move(s);
                wake = waitingFor == i;
            }
            // Only a file waited for wakes the calling thread: no switch for every file.
            if (wake) ready.notify_one();
        }
    };
    const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    std::vector<std::thread> pool;
    for (int t = 0; t < std::min(threads, total); ++t)
        pool.emplace_back(worker);

    int reported = -1; // the thousandth last reported
    for (int i = 0; i < total; ++i) {
        Slot s;
        {
            std::unique_lock lock(mutex);
            waitingFor = i;
            ready.wait(lock, [&] { return parsed[size_t(i)].has_value(); });
            waitingFor = -1;
            s = std::move(*parsed[size_t(i)]);
            parsed[size_t(i)].reset();
        }
        if (s.ok)
            applyMedium(QFileInfo(names[i]).completeBaseName(), std::move(s.medium));
        else
            report.errors.append(s.error);
        // Progress goes out once per thousandth of the files (and for the last), not for
        // each of many thousands.
        const int thousandth = int(qint64(i + 1) * 1000 / total);
        if (progress && (thousandth != reported || i + 1 == total)) {
            reported = thousandth;
            progress(i + 1, total);
        }
    }
    for (std::thread& t : pool)
        t.join();
    // The lists grew by appending: give back what they hold in reserve.
    titleLists.squeezeParts();
    // Long lists get their display order now, off the thread that shows them.
    nameorder::prepareOrders(titleLists, threads);
    // The files' text and the parsing's work space are gone.
    returnFreedMemory();

    report.media = mediaCount;
    report.folders = folderCount;
    report.titles = titleCount;
    return report;
}

void Collection::ClearCollection() {
    titleLists.clearNonFixed();
    titleStyles.clear();
    cdnames.clear();
    mediaListNode()->removeChildren();
    alphaListNode()->removeChildren();
    alphaByName_.clear();
    alphaChildren_.clear();
    firstBelowTop_.clear();
    nextSuffix_.clear();
    numberedNames_.clear();
    folderNodes_.clear();
}

QString Collection::loadedStatusText(const QLocale& locale) const {
    QString text = QStringLiteral("Archiv von ") + locale.toString(mediaCount) +
                   QStringLiteral(" Medien mit insgesamt ") + locale.toString(titleCount) +
                   QStringLiteral(" Titeln aus ") + locale.toString(folderCount) +
                   QStringLiteral(" Ordnern geladen.");
    const int connections = connector_ ? connector_->connectionCount() : 0;
    if (connections > 0)
        text += u' ' + locale.toString(connections) +
                QStringLiteral(" Netzlaufwerk(e) sind verbunden.");
    return text;
}
