// The command reference in ARCHITECTURE.md against the table of a fully built window.
#include "command_catalogue.h"
#include "main_window.h"
#include "settings_store.h"
#include "test_env.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

struct Row {
    QString name;      // without backticks, lower case
    QString argument;  // the second cell
    QString frontEnds; // the third cell
};

// The rows of the table under "## Command reference"; a name written twice appears twice.
QList<Row> documentedRows(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QList<Row> rows;
    bool inSection = false;
    bool inTable = false;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("## "))) {
            if (inSection) break;
            inSection = line == QLatin1String("## Command reference");
            continue;
        }
        if (!inSection) continue;
        if (!line.startsWith(QLatin1Char('|'))) {
            if (inTable) break; // the reference is the section's first table
            continue;
        }
        const QString first = line.section(QLatin1Char('|'), 1, 1).trimmed();
        const bool separator =
            !first.isEmpty() &&
            first.count(QLatin1Char('-')) + first.count(QLatin1Char(':')) == first.size();
        if (!inTable) { // the header row
            inTable = true;
            continue;
        }
        if (separator) continue;
        rows.append({QString(first).remove(QLatin1Char('`')).trimmed().toLower(),
                     line.section(QLatin1Char('|'), 2, 2).trimmed(),
                     line.section(QLatin1Char('|'), 3, 3).trimmed()});
    }
    return rows;
}

QStringList documentedCommands(const QString& path) {
    QStringList names;
    for (const Row& row : documentedRows(path))
        names.append(row.name);
    return names;
}

// The front-end words a cell names: "menu", "socket", "web", "D-Bus", "MPRIS".
QStringList frontEndWords(const QString& cell) {
    QStringList found;
    const QStringList words =
        cell.split(QRegularExpression(QStringLiteral("[^A-Za-z-]+")), Qt::SkipEmptyParts);
    for (const char* name : {"menu", "socket", "web", "D-Bus", "MPRIS"})
        if (words.contains(QLatin1String(name))) found << QLatin1String(name);
    return found;
}

TEST(ArchitectureDoc, CommandReferenceListsExactlyTheRegisteredCommands) {
    IsolatedEnvironment env;
    const QString catalogue = env.path(QStringLiteral("katalog"));
    QDir().mkpath(catalogue);
    SettingsStore store(env.path(QStringLiteral("config/registry.json")));
    TForm1::Environment e;
    e.catalogDir = catalogue;
    e.dataDir = env.dataDir();
    e.tempDir = env.path(QStringLiteral("runtime"));
    e.store = &store;
    TForm1 window(e);
    window.setMessageBoxHook([](QMessageBox::Icon, const QString&, QMessageBox::StandardButtons) {
        return QMessageBox::Ok;
    });
    bool loaded = false;
    QObject::connect(&window, &TForm1::loadFinished, [&loaded] { loaded = true; });
    window.show();
    ASSERT_TRUE(waitFor([&] { return loaded; }));

    const QStringList documented = documentedCommands(QStringLiteral(ARCHITECTURE_MD));
    ASSERT_FALSE(documented.isEmpty()) << "no command reference in " ARCHITECTURE_MD;
    const QSet<QString> docSet(documented.begin(), documented.end());
    EXPECT_EQ(docSet.size(), documented.size()) << "a command is documented twice";

    const QStringList registered = window.commandTable().names();
    for (const QString& name : registered)
        EXPECT_TRUE(docSet.contains(name)) << "not documented: " << name.toStdString();
    const QSet<QString> regSet(registered.begin(), registered.end());
    for (const QString& name : documented)
        EXPECT_TRUE(regSet.contains(name)) << "documented, not registered: " << name.toStdString();
}

// The argument kind and the front ends of every row are the descriptor's.
TEST(ArchitectureDoc, CommandReferenceShowsEachDescriptorsArgumentAndFrontEnds) {
    const QList<Row> rows = documentedRows(QStringLiteral(ARCHITECTURE_MD));
    ASSERT_FALSE(rows.isEmpty());
    QSet<QString> described;
    for (const Row& row : rows) {
        const commandcatalogue::Descriptor* d = commandcatalogue::find(row.name);
        ASSERT_NE(d, nullptr) << "no descriptor: " << row.name.toStdString();
        described << row.name;
        EXPECT_TRUE(row.argument.startsWith(commandcatalogue::argumentName(d->argument)))
            << row.name.toStdString() << ": " << row.argument.toStdString();
        EXPECT_EQ(frontEndWords(row.frontEnds), commandcatalogue::frontEndNames(d->frontEnds))
            << row.name.toStdString() << ": " << row.frontEnds.toStdString();
    }
    for (const commandcatalogue::Descriptor& d : commandcatalogue::all())
        EXPECT_TRUE(described.contains(QLatin1String(d.name))) << "not documented: " << d.name;
}

} // namespace
