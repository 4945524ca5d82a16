#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

// Points every folder the program uses at a fresh temporary folder for one test.
class IsolatedEnvironment {
public:
    IsolatedEnvironment() {
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "VORLUNE_HOME", "HOME"})
            saved_.append({name, qgetenv(name)});
        const QString base = dir_.path();
        for (const char* sub : {"config", "data", "runtime", "home", "vorlune"})
            QDir(base).mkpath(QLatin1String(sub));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(base + QStringLiteral("/config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(base + QStringLiteral("/data")));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + QStringLiteral("/runtime")));
        qputenv("VORLUNE_HOME", QFile::encodeName(base + QStringLiteral("/vorlune")));
        qputenv("HOME", QFile::encodeName(base + QStringLiteral("/home")));
    }
    ~IsolatedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    QString path(const QString& sub = QString()) const {
        return sub.isEmpty() ? dir_.path() : dir_.filePath(sub);
    }
    QString dataDir() const { return path(QStringLiteral("vorlune")); }

private:
    QTemporaryDir dir_;
    QList<std::pair<const char*, QByteArray>> saved_;
};

#include <QDeadlineTimer>
#include <QTest>

#include <functional>

// Runs the event loop until `done` holds or the time is up.
inline bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(10);
    }
    return true;
}
