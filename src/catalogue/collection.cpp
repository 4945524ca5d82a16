#include "collection.h"

#include "index_file.h"
#include "text_codec.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <condition_variable>
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

} // namespace

QString encodeDetailsLabel(QStringView label) {
    QString out;
    out.reserve(label.size());
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
        // Outside Windows-1252: the UTF-8 bytes, surrogate pairs kept together.
        qsizetype len = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < label.size() && label[i + 1].isLowSurrogate())
            len = 2;
        for (char byte : label.mid(i, len).toUtf8())
            appendPercent(out, static_cast<unsigned char>(byte));
        i += len - 1;
    }
    return out;
}

QString buildDetails(const MyMediaInfo& info, QStringView label) {
    return QStringLiteral("MediaFolders=") + QString::number(info.FolderCount) +
           QStringLiteral("&MediaFiles=") + QString::number(info.TitleCount) +
           QStringLiteral("&Author=") + info.Author + QStringLiteral("&Version=") + info.Version +
           QStringLiteral("&Comment=") + info.Comment + QStringLiteral("&Label=") +
           encodeDetailsLabel(label) + QStringLiteral("&");
}

Collection::Collection() : root_(std::make_unique<TreeNode>(QStringLiteral("Komplette Sammlung"), 0, 0)) {
    for (const FixedNode& f : kFixedNodes)
        root_->addChild(QString::fromUtf8(f.text), f.icon, f.icon);
}

Collection::~Collection() = default;

QString Collection::uniqueName(const QString& name, bool* isNew) {
    // Keys are looked up without regard to case, so a name that differs from an
    // existing key only in case must be numbered too, or its folder would show the
    // other folder's titles.
    if (!titleLists.contains(name)) {
        *isNew = true;
        return name;
    }
    *isNew = false;
    const QString folded = name.toCaseFolded();
    int n = std::max(2, nextSuffix_.value(folded, 2));
    QString candidate;
    for (;; ++n) {
        candidate = name + QStringLiteral(" (") + QString::number(n) + u')';
        if (!titleLists.contains(candidate))
            break;
    }
    nextSuffix_.insert(folded, n + 1);
    return candidate;
}

TreeNode* Collection::findAlphaNode(TreeNode* alphaParent, const QString& name) const {
    auto it = alphaByName_.constFind(name);
    if (it == alphaByName_.cend())
        return nullptr;
    TreeNode* best = nullptr;
    for (TreeNode* candidate : *it) {
        if (!alphaParent->isAncestorOrSelfOf(candidate))
            continue;
        if (!best || precedesInPreorder(candidate, best))
            best = candidate;
    }
    return best;
}

void Collection::addMedium(const QString& defaultName, const QStringList& fileLines) {
    applyMedium(defaultName, bodyLinesForLoading(fileLines));
}

void Collection::applyMedium(const QString& defaultName, const QStringList& body) {
    ++mediaCount;
    TreeNode* mediaList = mediaListNode();
    TreeNode* alphaList = alphaListNode();
    TreeNode* medium = mediaList->addChild(defaultName, MediaUnknown, MediaUnknown);
    auto info = std::make_unique<MyMediaInfo>();
    const int alphaTopBefore = alphaList->childCount();

    int folderList = 0;
    int alphaListIndex = 0;
    struct FolderNodes {
        TreeNode* folder;
        TreeNode* alpha;
    };
    QHash<QString, FolderNodes> folders; // folded path -> nodes

    for (const QString& line : body) {
        const ClassifiedLine cl = classifyLine(line);
        switch (cl.kind) {
        case LineKind::Marker:
            break;
        case LineKind::Author:
            info->Author = cl.value.toString();
            break;
        case LineKind::Version:
            info->Version = cl.value.toString();
            break;
        case LineKind::Comment:
            info->Comment = cl.value.toString();
            break;
        case LineKind::Label:
            if (!cl.value.isEmpty())
                medium->text = cl.value.toString();
            break;
        case LineKind::Style: {
            QStringView attrs, target;
            if (!splitStyleValue(cl.value, attrs, target))
                break;
            TitleStyle style;
            applyStyleAttributes(attrs, style);
            titleStyles.add(target.toString(), style);
            break;
        }
        case LineKind::MediaType: {
            const MediaTypeValue mt = parseMediaTypeValue(cl.value);
            if (mt.number == MediaUnknown)
                break;
            info->MediaType = quint8(mt.number);
            medium->icon = medium->selectedIcon = mt.number;
            if (mt.number == MediaLan || mt.number == MediaWww) {
                info->Resource = mt.resource;
                if (!mt.resource.isEmpty() && connector_) {
                    if (mt.number == MediaLan)
                        connector_->ConnectShare(medium->text, mt.resource);
                    else
                        connector_->ConnectWebMedium(medium->text, mt.resource);
                }
            }
            break;
        }
        case LineKind::Folder: {
            ++info->FolderCount;
            ++folderCount;
            const QStringView path = QStringView(line).chopped(1);
            const qsizetype cut = path.lastIndexOf(u'\\');
            const QString name = path.mid(cut + 1).toString();

            TreeNode* parent = medium;
            TreeNode* alphaParent = alphaList;
            if (cut >= 0) {
                auto it = folders.constFind(path.left(cut).toString().toCaseFolded());
                if (it != folders.cend()) {
                    parent = it->folder;
                    alphaParent = it->alpha;
                }
            }

            bool isNew = false;
            const QString unique = uniqueName(name, &isNew);
            alphaListIndex = -1;
            if (!isNew)
                alphaListIndex = titleLists.indexOf(QStringLiteral("ALPHALIST::") + name);
            if (alphaListIndex < 0)
                alphaListIndex = titleLists.add(QStringLiteral("ALPHALIST::") + name);
            folderList = titleLists.add(unique);

            TreeNode* folderNode = parent->addChild(unique, kFolderIcon, kFolderSelectedIcon);
            TreeNode* alphaNode = isNew ? nullptr : findAlphaNode(alphaParent, name);
            if (!alphaNode) {
                alphaNode = alphaParent->addChild(name, kFolderIcon, kFolderSelectedIcon);
                alphaByName_[name].push_back(alphaNode);
            }
            folders.insert(path.toString().toCaseFolded(), {folderNode, alphaNode});
            break;
        }
        case LineKind::Title:
            ++info->TitleCount;
            ++titleCount;
            titleLists.list(folderList).append(line);
            titleLists.list(alphaListIndex).append(line);
            break;
        }
    }

    info->Details = buildDetails(*info, medium->text);
    medium->media = std::move(info);

    medium->sortChildren();
    mediaList->mergeSortedTail(mediaList->childCount() - 1);
    alphaList->mergeSortedTail(alphaTopBefore);
    cdnames.insert(std::upper_bound(cdnames.begin(), cdnames.end(), medium->text,
                                    [](const QString& a, const QString& b) {
                                        return compareCatalogue(a, b) < 0;
                                    }),
                   medium->text);
}

bool Collection::LoadMedium(const QString& fileName, QString* error) {
    const QString path = QFileInfo(fileName).isAbsolute() ? fileName : QDir(CatalogDir).filePath(fileName);
    QStringList lines;
    if (!readIndexFile(path, lines, error))
        return false;
    addMedium(QFileInfo(fileName).completeBaseName(), lines);
    return true;
}

QStringList Collection::indexFilesIn(const QString& dir) {
    QDir d(dir);
    d.setNameFilters({QStringLiteral("*.cd")});
    // System: broken links are listed too, so that they are reported rather than missed.
    d.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    d.setSorting(QDir::Name | QDir::IgnoreCase);
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
        QStringList body;
    };
    std::vector<std::optional<Slot>> parsed(static_cast<size_t>(total));
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<int> next{0};

    auto worker = [&] {
        for (;;) {
            const int i = next.fetch_add(1);
            if (i >= total)
                return;
            Slot s;
            QStringList lines;
            s.ok = readIndexFile(dir.filePath(names[i]), lines, &s.error);
            if (s.ok)
                s.body = bodyLinesForLoading(std::move(lines));
            {
                std::lock_guard lock(mutex);
                parsed[size_t(i)] = std::move(s);
            }
            ready.notify_all();
        }
    };
    const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    std::vector<std::thread> pool;
    for (int t = 0; t < std::min(threads, total); ++t)
        pool.emplace_back(worker);

    for (int i = 0; i < total; ++i) {
        Slot s;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return parsed[size_t(i)].has_value(); });
            s = std::move(*parsed[size_t(i)]);
            parsed[size_t(i)].reset();
        }
        if (s.ok)
            applyMedium(QFileInfo(names[i]).completeBaseName(), s.body);
        else
            report.errors.append(s.error);
        if (progress)
            progress(i + 1, total);
    }
    for (std::thread& t : pool)
        t.join();

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
    nextSuffix_.clear();
}

QString Collection::loadedStatusText(const QLocale& locale) const {
    QString text = QStringLiteral("Archiv von ") + locale.toString(mediaCount) +
                   QStringLiteral(" Medien mit insgesamt ") + locale.toString(titleCount) +
                   QStringLiteral(" Titeln aus ") + locale.toString(folderCount) +
                   QStringLiteral(" Ordnern geladen.");
    const int connections = connector_ ? connector_->connectionCount() : 0;
    if (connections > 0)
        text += u' ' + locale.toString(connections) + QStringLiteral(" Netzlaufwerk(e) sind verbunden.");
    return text;
}
