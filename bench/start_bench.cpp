// Starts the program's core and main window (offscreen) on a catalogue folder, as the
// program does, and measures from process start until the tree shows, the search index is
// ready and the GUI thread is idle: CPU seconds, wall seconds, peak and current resident
// memory, and the GUI thread's worst lateness from 300 ms after the start on. Prints the
// same for an empty catalogue and `LC_ALL=C sort -f` over the same index files beside it.
//   bench_start DIR [--web]     the table (each start runs in a fresh process)
//   bench_start --run DIR       one start, one line of figures
// --web leaves the web view switched on in the settings (the default of a new user);
// without it the settings switch it off.
#include "app_core.h"
#include "app_paths.h"
#include "collection.h"
#include "collection_views.h"
#include "main_window.h"
#include "quick_search.h"
#include "settings_store.h"
#include "web_view.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

double monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double cpuSeconds(const rusage& ru) {
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// A "Vm...:" figure of /proc/self/status in MB.
double statusMb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').value(0).toDouble() /
                   1024.0;
    return -1;
}

struct Figures {
    double cpu = 0, wall = 0, peakMb = 0, rssMb = 0, worstMs = 0;
    int titles = 0;
};

// One start in this process; `started` is the monotonic time of the process start.
int runOnce(int argc, char** argv, const QString& catalogue, double started, bool web) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // A new user's settings, apart from the web view.
    QDir().mkpath(QFileInfo(apppaths::registryFile()).absolutePath());
    {
        SettingsStore seed(apppaths::registryFile());
        seed.writeInteger(QStringLiteral("Software\\Vorlune"), QStringLiteral("ViewStyle"),
                          web ? 7 : 3);
        seed.save();
    }
    webview::registerSchemes();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlune"));

    // The GUI thread's answer time: how late a 10 ms timer fires.
    double last = monotonicNow();
    double worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = monotonicNow();
        if (now - started >= 0.3) worst = std::max(worst, now - last - 0.010);
        last = now;
    });
    tick.start();

    SettingsStore store(apppaths::registryFile());
    store.load();
    QTemporaryDir temp;
    AppCore::Environment env;
    env.dataDir = apppaths::dataDir();
    env.catalogDir = catalogue;
    env.tempDir = temp.path();
    env.store = &store;
    AppCore core(env);
    TForm1 form(core);

    Figures f;
    bool loaded = false;
    QObject::connect(&form, &TForm1::loadFinished, [&] { loaded = true; });
    // Idle: the event loop is about to wait with the collection shown and the index built.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &app, [&] {
                         if (!loaded || !form.quickSearch()->indexReady()) return;
                         rusage ru{};
                         getrusage(RUSAGE_SELF, &ru);
                         f.cpu = cpuSeconds(ru);
                         f.wall = monotonicNow() - started;
                         f.peakMb = statusMb("VmHWM:");
                         f.rssMb = statusMb("VmRSS:");
                         f.worstMs = worst * 1000;
                         f.titles = form.collection().titleCount;
                         std::printf("%d %.3f %.3f %.1f %.1f %.1f\n", f.titles, f.cpu, f.wall,
                                     f.peakMb, f.rssMb, f.worstMs);
                         std::fflush(stdout);
                         std::_Exit(0);
                     });
    form.show();
    return QApplication::exec();
}

// Runs a child process, its output to `out`; returns CPU and wall seconds.
bool runChild(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
              std::string* out, double* cpu, double* wall) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e)
        envStrings.emplace_back(*e);
    for (const std::string& e : extraEnv)
        envStrings.push_back(e);
    std::vector<char*> envp, argp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = args;
    for (std::string& a : argCopy)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    const double t0 = monotonicNow();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFd[1]);
    if (rc != 0) {
        close(pipeFd[0]);
        return false;
    }
    char buf[4096];
    for (ssize_t n; (n = read(pipeFd[0], buf, sizeof buf)) > 0;)
        if (out) out->append(buf, size_t(n));
    close(pipeFd[0]);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    *wall = monotonicNow() - t0;
    *cpu = cpuSeconds(ru);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool startChild(const char* self, const QString& catalogue, bool web, Figures* f) {
    QTemporaryDir home;
    const std::string base = QFile::encodeName(home.path()).toStdString();
    for (const char* sub : {"/config", "/data", "/runtime", "/vorlune"})
        QDir().mkpath(home.path() + QLatin1String(sub));
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + base + "/config",
                                          "XDG_DATA_HOME=" + base + "/data",
                                          "XDG_RUNTIME_DIR=" + base + "/runtime",
                                          "VORLUNE_HOME=" + base + "/vorlune",
                                          "HOME=" + base,
                                          "BENCH_START_T0=" + std::to_string(monotonicNow())};
    std::vector<std::string> args = {self, "--run", QFile::encodeName(catalogue).toStdString()};
    if (web) args.emplace_back("--web");
    std::string out;
    double cpu = 0, wall = 0;
    if (!runChild(args, env, &out, &cpu, &wall)) {
        std::fprintf(stderr, "the start failed: %s\n", out.c_str());
        return false;
    }
    return std::sscanf(out.c_str(), "%d %lf %lf %lf %lf %lf", &f->titles, &f->cpu, &f->wall,
                       &f->peakMb, &f->rssMb, &f->worstMs) == 6;
}

void printRow(const char* name, const Figures& f) {
    std::printf("%-22s %10d %8.2f %8.2f %9.0f %9.0f %9.0f\n", name, f.titles, f.cpu, f.wall,
                f.peakMb, f.rssMb, f.worstMs);
}

} // namespace

int main(int argc, char** argv) {
    bool web = false;
    QString dir;
    bool run = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--web")
            web = true;
        else if (a == "--run")
            run = true;
        else
            dir = QFile::decodeName(argv[i]);
    }
    if (run) {
        const QByteArray t0 = qgetenv("BENCH_START_T0");
        // Started by hand rather than by the table: the new user's settings go into a folder
        // of their own, not over the user's.
        std::optional<QTemporaryDir> home;
        if (t0.isEmpty()) {
            home.emplace();
            for (const char* sub : {"/config", "/data", "/runtime", "/vorlune"})
                QDir().mkpath(home->path() + QLatin1String(sub));
            QFile::setPermissions(home->path() + QStringLiteral("/runtime"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            const QByteArray base = QFile::encodeName(home->path());
            qputenv("XDG_CONFIG_HOME", base + "/config");
            qputenv("XDG_DATA_HOME", base + "/data");
            qputenv("XDG_RUNTIME_DIR", base + "/runtime");
            qputenv("VORLUNE_HOME", base + "/vorlune");
            qputenv("HOME", base);
        }
        return runOnce(argc, argv, dir, t0.isEmpty() ? monotonicNow() : t0.toDouble(), web);
    }
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: %s CATALOGUE_DIR [--web]\n", argv[0]);
        return 2;
    }
    dir = QDir(dir).absolutePath();

    // The bare cost of sorting the same lines without regard to case.
    const QStringList files = Collection::indexFilesIn(dir);
    QTemporaryDir scratch;
    const QString list = scratch.filePath(QStringLiteral("files0"));
    {
        QFile out(list);
        if (!out.open(QIODevice::WriteOnly)) return 1;
        for (const QString& f : files)
            out.write(QFile::encodeName(QDir(dir).filePath(f)) + '\0');
    }
    double sortCpu = 0, sortWall = 0;
    if (!runChild({"sort", "-f", "--files0-from=" + QFile::encodeName(list).toStdString(), "-o",
                   "/dev/null"},
                  {"LC_ALL=C"}, nullptr, &sortCpu, &sortWall)) {
        std::fprintf(stderr, "sort failed\n");
        return 1;
    }

    Figures empty, full;
    QTemporaryDir emptyDir;
    if (!startChild(argv[0], emptyDir.path(), web, &empty) || !startChild(argv[0], dir, web, &full))
        return 1;

    double load[3] = {};
    getloadavg(load, 3);
    std::printf("index files: %lld, web view %s, load average %.2f %.2f %.2f\n",
                static_cast<long long>(files.size()), web ? "on" : "off", load[0], load[1],
                load[2]);
    std::printf("%-22s %10s %8s %8s %9s %9s %9s\n", "", "titles", "CPU s", "wall s", "peak MB",
                "RSS MB", "worst ms");
    printRow("empty catalogue", empty);
    printRow("catalogue", full);
    std::printf("%-22s %10s %8.2f %8.2f\n", "LC_ALL=C sort -f", "", sortCpu, sortWall);
    const double perMillion = full.titles > 0 ? 1e6 / full.titles : 0;
    std::printf("CPU / sort CPU:        %.2f (wall %.2f)\n", full.cpu / std::max(sortCpu, 1e-6),
                full.wall / std::max(sortWall, 1e-6));
    std::printf("MB per million titles: peak %.0f, after the start %.0f\n",
                (full.peakMb - empty.peakMb) * perMillion, (full.rssMb - empty.rssMb) * perMillion);
    return 0;
}
