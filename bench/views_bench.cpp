// Quick search and the title list on a generated collection, side by side with
// `grep -F -i -c` over the same title lines.
//   bench_views DIR        (DIR from: bench_generate collection DIR)
#include "collection.h"
#include "collection_views.h"
#include "name_order.h"
#include "quick_search.h"
#include "search_index.h"
#include "title_list_model.h"
#include "tree_node.h"
#include "view_build.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

double ms(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

// CPU time of the whole process (all threads) in ms: on a busy machine it shows the work
// done, where the wall time also counts the waiting for a core.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// CPU time of the calling thread in ms.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Best of five runs of the grep count over a file of title lines.
double grepMs(const QString& file, const QString& term, qint64* count) {
    double best = 1e12;
    for (int i = 0; i < 5; ++i) {
        QProcess grep;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8");
        grep.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        grep.start("grep", {"-F", "-i", "-c", "--", term, file});
        grep.waitForFinished(-1);
        best = std::min(best, ms(t));
        *count = grep.readAllStandardOutput().trimmed().toLongLong();
    }
    return best;
}

// Repetitions of each timed step; the medians are printed (the machine may be busy).
constexpr int kRuns = 9;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool writeLines(const QString& path, const QStringList& lines) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    for (const QString& l : lines) {
        f.write(l.toUtf8());
        f.write("\n");
    }
    return true;
}

void largest(const Collection& c, TreeNode* n, TreeNode*& best, qsizetype& size) {
    const QStringList* l = c.titleLists.find(QStringLiteral("ALPHALIST::") + n->text);
    if (l && l->size() > size) {
        size = l->size();
        best = n;
    }
    for (int i = 0; i < n->childCount(); ++i)
        largest(c, n->child(i), best, size);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CATALOGUE_DIR\n", argv[0]);
        return 2;
    }
    QTemporaryDir tmp;
    Collection c;
    c.CatalogDir = QString::fromLocal8Bit(argv[1]);
    QElapsedTimer t;
    t.start();
    const LoadReport r = c.LoadAllMedia();
    std::printf("loaded %d media, %d titles in %.0f ms\n", r.media, r.titles, ms(t));
    qsizetype kept = 0;
    for (int i = 0; i < c.titleLists.count(); ++i)
        if (const std::vector<int>* order = c.titleLists.nameOrder(i))
            kept += qsizetype(order->size());
    // What making them adds to every load (done again here, on the same lists).
    const double orderCpu0 = cpuMs();
    t.restart();
    nameorder::prepareOrders(c.titleLists, 2);
    std::printf("display orders kept from the load: %lld indexes (%.1f MB), made in %.0f ms "
                "(cpu %.0f ms)\n",
                static_cast<long long>(kept), kept * 4 / 1048576.0, ms(t), cpuMs() - orderCpu0);

    t.restart();
    const quicksearch::SearchIndex index(quicksearch::SearchIndex::snapshot(c.titleLists),
                                         c.titleLists.searchedOrder());
    std::printf(
        "search index over %lld titles built in %.0f ms (off the GUI thread in the program)\n",
        static_cast<long long>(index.titleCount()), ms(t));

    QStringList all;
    all.reserve(index.titleCount());
    for (const auto& s : quicksearch::SearchIndex::snapshot(c.titleLists))
        all += TitleSpan{&s.titles, &s.parts}.toList();
    const QString allFile = tmp.filePath("all.txt");
    writeLines(allFile, all);

    std::printf("\nmedians of %d runs\n%-30s %10s %10s %10s   %10s %10s\n", kRuns, "quick search",
                "hits", "ms", "cpu ms", "grep hits", "grep ms");
    // Searches with a grep counterpart, then combinations grep has no single answer for.
    const char* queries[][2] = {{"liebe", "liebe"},
                                {"night", "night"},
                                {"best of", "\"best of\""},
                                {"medium 5", "\"medium 5\""},
                                {"xyzzy", "xyzzy"},
                                {"mp3", "mp3"},
                                {nullptr, "liebe +nacht -sonne"},
                                {nullptr, "love night fire"},
                                {nullptr, "liebe nacht sonne love night"},
                                {nullptr, "+liebe +nacht +sonne"},
                                {nullptr, "mp3 -liebe -night"}};
    quicksearch::SearchOptions options;
    for (const auto& q : queries) {
        const quicksearch::SearchTerms terms =
            quicksearch::parseSearch(QString::fromUtf8(q[1]), options);
        std::vector<double> wall;
        std::vector<double> cpu;
        quicksearch::SearchResult res;
        for (int i = 0; i < kRuns; ++i) {
            const double c0 = cpuMs();
            t.restart();
            quicksearch::SearchResult r = index.search(terms, options);
            wall.push_back(ms(t));
            cpu.push_back(cpuMs() - c0);
            // The previous results go outside the timing (the program frees them on a
            // worker thread).
            res = std::move(r);
        }
        if (q[0]) {
            qint64 grepHits = 0;
            const double g = grepMs(allFile, QString::fromUtf8(q[0]), &grepHits);
            std::printf("%-30s %10lld %10.1f %10.1f   %10lld %10.1f\n", q[1],
                        static_cast<long long>(res.hits), median(wall), median(cpu),
                        static_cast<long long>(grepHits), g);
        } else {
            std::printf("%-30s %10lld %10.1f %10.1f   %10s %10s\n", q[1],
                        static_cast<long long>(res.hits), median(wall), median(cpu), "-", "-");
        }
    }

    // Selecting a large folder: view build, model reset, column widths, first rows painted.
    CollectionViews views;
    views.resize(1000, 700);
    views.show();
    views.setCollection(&c);
    TreeNode* big = nullptr;
    qsizetype bigSize = -1;
    for (int i = 0; i < c.alphaListNode()->childCount(); ++i)
        largest(c, c.alphaListNode()->child(i), big, bigSize);
    QStringList bigList =
        *std::as_const(c.titleLists).find(QStringLiteral("ALPHALIST::") + big->text);
    QStringList& merk = c.titleLists.list(TitleLists::Merkzettel);
    merk = bigList.mid(0, 100000);
    struct Case {
        const char* name;
        TreeNode* node;
        QStringList lines;
    } cases[] = {{"Merkzettel (100,000)", c.node(Collection::MerkzettelNode), merk},
                 {"largest folder", big, bigList}};
    std::printf("\n%-30s %10s %10s %10s   %10s %10s\n", "select node (sort ms)", "titles", "ms",
                "cpu ms", "grep hits", "grep ms");
    for (const Case& k : cases) {
        double best = 1e12;
        double bestCpu = 1e12;
        double bestSort = 1e12;
        for (int i = 0; i < 3; ++i) {
            views.selectFixedNode(Collection::SearchNode);
            const double c0 = cpuMs();
            t.restart();
            views.selectNode(k.node);
            views.list()->viewport()->grab(); // paints the first rows
            best = std::min(best, ms(t));
            bestCpu = std::min(bestCpu, cpuMs() - c0);
            t.restart();
            const std::vector<int> order = viewbuild::sortedByName(k.lines);
            bestSort = std::min(bestSort, ms(t));
        }
        const QString file = tmp.filePath("node.txt");
        writeLines(file, k.lines);
        qint64 grepHits = 0;
        const double g = grepMs(file, "best", &grepHits);
        const QString name = QStringLiteral("%1 (%2)").arg(k.name).arg(bestSort, 0, 'f', 1);
        std::printf("%-30s %10d %10.1f %10.1f   %10lld %10.1f\n", qPrintable(name),
                    views.itemCount(), best, bestCpu, static_cast<long long>(grepHits), g);
    }

    // From Enter until the list model holds the result: the search runs on a worker and
    // the GUI thread only starts it and hands its result to the model. "gui to model" is the
    // CPU time of the GUI thread until the model's reset, "gui all" until the view has also
    // laid out its rows and sized its columns, "paint" that of painting the first rows
    // afterwards, "cpu" that of the whole process (medians; "gui max" the worst run).
    QComboBox box;
    QEventLoop loop;
    QuickSearch quick(&box, nullptr, &views);
    QObject::connect(&quick, &QuickSearch::searched, &loop, &QEventLoop::quit);
    double atReset = 0;
    QObject::connect(views.listModel(), &QAbstractItemModel::modelReset,
                     [&] { atReset = threadCpuMs(); });
    struct Timing {
        double wall, toModel, gui, paint, cpu;
    };
    const auto timed = [&] {
        QCoreApplication::processEvents(); // what is left of the previous search's frame
        const double g0 = threadCpuMs();
        const double c0 = cpuMs();
        t.restart();
        quick.run();
        if (quick.searching()) loop.exec();
        const double shown = threadCpuMs();
        // The frame that paints the first rows (the offscreen platform paints into memory).
        views.list()->viewport()->repaint();
        const double painted = threadCpuMs();
        return Timing{ms(t), atReset - g0, shown - g0, painted - shown, cpuMs() - c0};
    };
    // The first search comes while the index is still being built: it waits off the GUI
    // thread and is answered once the index is there.
    quick.setText(QStringLiteral("xyzzy"));
    {
        const double g0 = threadCpuMs();
        t.restart();
        quick.run();
        const double requestMs = threadCpuMs() - g0;
        const bool queued = quick.searching() && !quick.indexReady();
        if (quick.searching()) loop.exec();
        std::printf("\nfirst search right after the load: %s, request %.2f ms of the GUI "
                    "thread, shown after %.0f ms\n",
                    queued ? "queued until the index is built" : "index was ready", requestMs,
                    ms(t));
    }
    std::printf("\n%-30s %8s %8s %12s %8s %8s %8s %8s\n", "quick search to list model", "rows",
                "ms", "gui to model", "gui all", "gui max", "paint", "cpu ms");
    double worstToModel = 0;
    double worstGui = 0;
    for (const auto& q : queries) {
        std::vector<double> wall, toModel, gui, paint, cpu;
        for (int i = 0; i < kRuns; ++i) {
            quick.setText(QString::fromUtf8(q[1]));
            const Timing m = timed();
            wall.push_back(m.wall);
            toModel.push_back(m.toModel);
            gui.push_back(m.gui);
            paint.push_back(m.paint);
            cpu.push_back(m.cpu);
        }
        const double maxGui = *std::max_element(gui.begin(), gui.end());
        worstGui = std::max(worstGui, maxGui);
        worstToModel = std::max(worstToModel, *std::max_element(toModel.begin(), toModel.end()));
        std::printf("%-30s %8d %8.1f %12.2f %8.1f %8.1f %8.1f %8.1f\n", q[1], views.itemCount(),
                    median(wall), median(toModel), median(gui), maxGui, median(paint), median(cpu));
    }
    std::printf("worst GUI-thread CPU of any search: %.2f ms to the model, %.1f ms with the "
                "view's column sizing\n",
                worstToModel, worstGui);
    return 0;
}
