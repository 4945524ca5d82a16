// The statistics window's listener list with many listeners: the cost of one 500 ms
// refresh on the GUI thread (model update and repaint of the visible rows). With a
// collection folder as argument, also the time of the memory figure over that collection.
//
//   build/bench/statistics_bench [rows] [collection folder]
#include "collection.h"
#include "listener_model.h"
#include "statistics_texts.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTreeView>

#include <ctime>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;

    ListenerModel model;
    QTreeView view;
    view.setRootIsDecorated(false);
    view.setUniformRowHeights(true);
    if (!qEnvironmentVariableIsSet("BENCH_NO_VIEW")) view.setModel(&model);
    view.resize(640, 480);
    view.show();

    const QDateTime start = QDateTime::currentDateTime();
    std::vector<WClientInfo> server(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        WClientInfo& c = server[size_t(i)];
        c.Index = i;
        c.RemoteAddress =
            QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255);
        c.UserAgent = i % 3 ? QStringLiteral("VLC/3.0.18") : QStringLiteral("Mozilla/5.0");
        c.ConnectTime = start.addMSecs(-qint64(i) * 997);
        c.Streaming = true;
        model.clientConnected(c);
    }
    const auto fetch = [&server](int i, WClientInfo& info) {
        if (i >= int(server.size())) return false;
        info = server[size_t(i)];
        return true;
    };
    app.processEvents();

    std::vector<double> costs, modelCosts, cpuCosts;
    const auto cpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    };
    for (int tick = 1; tick <= 40; ++tick) {
        // Every listener received audio since the last tick (the worst case).
        for (WClientInfo& c : server)
            c.BytesSent += 8000 + quint64(c.Index % 17);
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpuMs();
        model.refresh(fetch, start.addMSecs(tick * 500));
        modelCosts.push_back(t.nsecsElapsed() / 1e6);
        view.viewport()->repaint();
        costs.push_back(t.nsecsElapsed() / 1e6);
        cpuCosts.push_back(cpuMs() - cpu0);
    }
    // The first refresh after all listeners came at once also chooses every icon.
    const double firstCpu = cpuCosts.front();
    cpuCosts.erase(cpuCosts.begin());
    costs.erase(costs.begin());
    modelCosts.erase(modelCosts.begin());
    std::sort(costs.begin(), costs.end());
    std::sort(modelCosts.begin(), modelCosts.end());
    std::sort(cpuCosts.begin(), cpuCosts.end());
    std::printf("listener list refresh, %d rows, all changed, GUI thread CPU time: median %.2f "
                "ms, max %.2f ms (limit 20 ms)\n",
                rows, cpuCosts[cpuCosts.size() / 2], cpuCosts.back());
    std::printf("  first refresh after %d listeners arrived at once: %.2f ms CPU\n", rows,
                firstCpu);
    std::printf("  wall clock (includes waiting for a loaded CPU): median %.2f ms, max %.2f ms\n",
                costs[costs.size() / 2], costs.back());
    std::printf("  of which the model update: median %.2f ms, max %.2f ms\n",
                modelCosts[modelCosts.size() / 2], modelCosts.back());

    if (argc > 2) {
        Collection collection;
        collection.CatalogDir = QString::fromLocal8Bit(argv[2]);
        QElapsedTimer t;
        t.start();
        collection.LoadAllMedia();
        const double load = t.nsecsElapsed() / 1e6;
        t.restart();
        double cpu0 = cpuMs();
        const qint64 bytes = stattexts::catalogueMemory(collection, 0);
        const double memory = t.nsecsElapsed() / 1e6;
        const double memoryCpu = cpuMs() - cpu0;
        cpu0 = cpuMs();
        stattexts::catalogueMemory(collection, 0);
        const double againCpu = cpuMs() - cpu0;
        // The medium list of the statistics page.
        QComboBox box;
        t.restart();
        box.addItem(QStringLiteral("(Medium auswählen)"));
        box.addItems(collection.cdnames);
        const double list = t.nsecsElapsed() / 1e6;
        std::printf("collection: %d media, %d titles loaded in %.0f ms; memory figure %lld bytes "
                    "computed in %.1f ms (CPU %.1f ms, again %.1f ms); medium list of %lld labels "
                    "filled in %.1f ms\n",
                    collection.mediaCount, collection.titleCount, load, (long long)bytes, memory,
                    memoryCpu, againCpu, (long long)collection.cdnames.size(), list);
    }
    return 0;
}
