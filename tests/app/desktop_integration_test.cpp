#include "desktop_integration.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// What the user's applications folder holds after a registration.
struct Expected {
    bool userEntry;
    bool localEntry;
};

struct Case {
    const char* name;
    bool installed;      // a system-wide entry exists
    bool runInstalled;   // the program run is the one installed beside it
    bool staleUserEntry; // an earlier build-folder run left "vorlune.desktop"
    Expected expected;
};

} // namespace

// A run from the build folder registers the scheme; beside an installed entry it neither
// hides that entry nor adds a second menu item, and the installed program leaves nothing.
TEST(DesktopIntegration, RegistersTheSchemeWithoutASecondMenuItem) {
    const Case cases[] = {
        {"build folder, nothing installed", false, false, false, {true, false}},
        {"build folder beside an installed entry", true, false, false, {false, true}},
        {"build folder after an earlier run", true, false, true, {false, true}},
        {"installed program", true, true, false, {false, false}},
        {"installed program after a build-folder run", true, true, true, {false, false}},
    };
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        // Prefixes and folders with blanks, as users pick them.
        const QString prefix = tmp.filePath(QStringLiteral("system prefix"));
        const QString applications = tmp.filePath(QStringLiteral("home data/applications"));
        const QString buildProgram = tmp.filePath(QStringLiteral("my build/src/app/vorlune"));
        const QString installedProgram = prefix + QStringLiteral("/bin/vorlune");
        ASSERT_TRUE(writeAll(buildProgram, "#!/bin/sh\n"));
        ASSERT_TRUE(writeAll(installedProgram, "#!/bin/sh\n"));
        const QStringList dataDirs = {tmp.filePath(QStringLiteral("empty")),
                                      prefix + QStringLiteral("/share")};
        const QString systemEntry = prefix + QStringLiteral("/share/applications/vorlune.desktop");
        if (c.installed) {
            ASSERT_TRUE(
                writeAll(systemEntry,
                         desktopintegration::desktopEntryText(QStringLiteral("vorlune")).toUtf8()));
        }
        EXPECT_EQ(desktopintegration::installedEntry(dataDirs),
                  c.installed ? systemEntry : QString());
        if (c.staleUserEntry) {
            ASSERT_TRUE(desktopintegration::registerUrlScheme(buildProgram, applications, {}));
        }

        // Through a symbolic link, as a program is often started.
        const QString link = tmp.filePath(QStringLiteral("link to vorlune"));
        ASSERT_TRUE(QFile::link(c.runInstalled ? installedProgram : buildProgram, link));
        EXPECT_EQ(desktopintegration::isInstalledProgram(
                      link, desktopintegration::installedEntry(dataDirs)),
                  c.runInstalled);
        const QString program = c.runInstalled ? link : buildProgram;
        ASSERT_TRUE(desktopintegration::registerUrlScheme(program, applications, dataDirs));

        const QString user = applications + QStringLiteral("/vorlune.desktop");
        const QString local = applications + u'/' + desktopintegration::localEntryName();
        EXPECT_EQ(QFile::exists(user), c.expected.userEntry);
        EXPECT_EQ(QFile::exists(local), c.expected.localEntry);
        for (const QString& entry : {user, local}) {
            if (!QFile::exists(entry)) continue;
            const QByteArray text = readAll(entry);
            EXPECT_TRUE(text.contains("\nMimeType=x-scheme-handler/vorlune;\n"));
            EXPECT_TRUE(text.contains("\nExec=" + desktopintegration::execValue(program).toUtf8() +
                                      " %u\n"));
            // Hidden from the menu exactly when an installed entry shows there.
            EXPECT_EQ(text.contains("\nNoDisplay=true\n"), c.installed);
            if (!validator.isEmpty()) {
                QProcess check;
                check.start(validator, {entry});
                ASSERT_TRUE(check.waitForFinished(30000));
                EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().constData();
            }
        }
        // The installed entry is never touched.
        if (c.installed) {
            EXPECT_EQ(readAll(systemEntry),
                      desktopintegration::desktopEntryText(QStringLiteral("vorlune")).toUtf8());
        }

        // A second registration changes nothing.
        const QDateTime before = QFileInfo(c.expected.localEntry ? local : user).lastModified();
        // Desktop entries only: the database updater started by the first registration may
        // write its cache into the folder at any moment.
        const QStringList entries{QStringLiteral("*.desktop")};
        const QStringList listed = QDir(applications).entryList(entries, QDir::Files);
        ASSERT_TRUE(desktopintegration::registerUrlScheme(program, applications, dataDirs));
        EXPECT_EQ(QDir(applications).entryList(entries, QDir::Files), listed);
        if (c.expected.userEntry || c.expected.localEntry) {
            EXPECT_EQ(QFileInfo(c.expected.localEntry ? local : user).lastModified(), before);
        }

        // Cleaning removes whatever was written.
        EXPECT_TRUE(desktopintegration::unregisterUrlScheme(applications));
        EXPECT_FALSE(QFile::exists(user));
        EXPECT_FALSE(QFile::exists(local));
    }
}

// An entry the user wrote under the same name is theirs: left alone beside an installed one.
TEST(DesktopIntegration, LeavesTheUsersOwnEntryAlone) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString share = tmp.filePath(QStringLiteral("share"));
    ASSERT_TRUE(
        writeAll(share + QStringLiteral("/applications/vorlune.desktop"), "[Desktop Entry]\n"));
    const QString applications = tmp.filePath(QStringLiteral("applications"));
    const QByteArray own =
        "[Desktop Entry]\nType=Application\nName=Mein Vorlune\nExec=vorlune --x\n";
    ASSERT_TRUE(writeAll(applications + QStringLiteral("/vorlune.desktop"), own));
    ASSERT_TRUE(desktopintegration::registerUrlScheme(tmp.filePath(QStringLiteral("b/vorlune")),
                                                      applications, {share}));
    EXPECT_EQ(readAll(applications + QStringLiteral("/vorlune.desktop")), own);
    EXPECT_TRUE(QFile::exists(applications + u'/' + desktopintegration::localEntryName()));
}

// Installed with the prefix ~/.local, the entry lies in the user's own folder: the program
// keeps it as it is, and a build-folder run adds only the hidden one beside it.
TEST(DesktopIntegration, KeepsAnEntryInstalledIntoTheUsersFolder) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString prefix = tmp.filePath(QStringLiteral("home/.local"));
    const QString applications = prefix + QStringLiteral("/share/applications");
    const QString installed = prefix + QStringLiteral("/bin/vorlune");
    const QByteArray entry =
        "[Desktop Entry]\nType=Application\nName=Vorlune\nGenericName=Katalog\n"
        "Exec=vorlune %u\nMimeType=x-scheme-handler/vorlune;\n";
    ASSERT_TRUE(writeAll(installed, "#!/bin/sh\n"));
    ASSERT_TRUE(writeAll(applications + QStringLiteral("/vorlune.desktop"), entry));
    const QString local = applications + u'/' + desktopintegration::localEntryName();

    ASSERT_TRUE(desktopintegration::registerUrlScheme(installed, applications, {}));
    EXPECT_EQ(readAll(applications + QStringLiteral("/vorlune.desktop")), entry);
    EXPECT_FALSE(QFile::exists(local));

    const QString build = tmp.filePath(QStringLiteral("build/vorlune"));
    ASSERT_TRUE(desktopintegration::registerUrlScheme(build, applications, {}));
    EXPECT_EQ(readAll(applications + QStringLiteral("/vorlune.desktop")), entry);
    EXPECT_TRUE(readAll(local).contains("\nNoDisplay=true\n"));
    // The installed program takes the scheme back; cleaning leaves the installed entry.
    ASSERT_TRUE(desktopintegration::registerUrlScheme(installed, applications, {}));
    EXPECT_FALSE(QFile::exists(local));
    EXPECT_TRUE(desktopintegration::unregisterUrlScheme(applications));
    EXPECT_EQ(readAll(applications + QStringLiteral("/vorlune.desktop")), entry);
}
