#include "tool_runner.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A stand-in tool: prints its info file and working folder, then ends with a code.
QString writeScript(const QString& dir, int exitCode, const char* extra = "") {
    const QString path = QDir(dir).filePath("tool.sh");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(QByteArray("#!/bin/sh\n"
                          "for a in \"$@\"; do case \"$a\" in INFOFILE=*) cat \"${a#INFOFILE=}\";; "
                          "esac; done\n"
                          "echo \"args=$*\"\n"
                          "pwd\n") +
               extra + "\nexit " + QByteArray::number(exitCode) + "\n");
    return path;
}

ToolRunner::Result waitForResult(ToolRunner& runner) {
    QSignalSpy spy(&runner, &ToolRunner::finished);
    if (!spy.wait(20000)) return {};
    return spy.takeFirst().at(0).value<ToolRunner::Result>();
}

} // namespace

class ToolRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        ASSERT_TRUE(work.isValid());
        ASSERT_TRUE(scripts.isValid());
    }
    bool tempIsEmpty() const {
        return QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
    }
    QTemporaryDir temp, work, scripts;
};

TEST_F(ToolRunnerTest, ExtractsRunsInTheWorkingFolderAndDeletesBothFiles) {
    ToolRunner runner(temp.path(), "0012ABCD", writeScript(scripts.path(), 0));
    EXPECT_EQ(runner.toolPath(), temp.path() + "/0012ABCD");
    EXPECT_EQ(runner.infoFilePath(), temp.path() + "/0012ABCD.cdi");
    runner.start({"LABEL=Rock", "INFOFILE=" + runner.infoFilePath()},
                 {"Anna", "%DATE%", "Sammlung"}, work.path());
    EXPECT_TRUE(runner.isRunning());
    const ToolRunner::Result result = waitForResult(runner);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.normalExit);
    EXPECT_EQ(result.exitCode, 0);
    // The info file holds the three lines with CR LF; the arguments arrive unsplit.
    EXPECT_TRUE(result.output.startsWith("Anna\r\n%DATE%\r\nSammlung\r\nargs=LABEL=Rock INFOFILE="))
        << result.output.toStdString();
    EXPECT_TRUE(result.output.trimmed().endsWith(QDir(work.path()).canonicalPath()));
    EXPECT_FALSE(runner.isRunning());
    EXPECT_TRUE(tempIsEmpty());
}

TEST_F(ToolRunnerTest, ReportsTheExitCodeAndOutputOfAFailingTool) {
    ToolRunner runner(
        temp.path(), "00000001",
        writeScript(scripts.path(), 2, "echo ' Fehler:   Ungültige Medien-Bezeichnung:'"));
    runner.start({"LABEL=a:b"}, {"", "", ""}, work.path());
    const ToolRunner::Result result = waitForResult(runner);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.output.contains(QString::fromUtf8("Ungültige Medien-Bezeichnung")));
    EXPECT_TRUE(tempIsEmpty());
}

TEST_F(ToolRunnerTest, StartFailuresAreReportedAndLeaveNothingBehind) {
    {
        ToolRunner runner(temp.path(), "00000002", scripts.filePath("no-such-tool"));
        runner.start({}, {"a", "b", "c"}, work.path());
        const ToolRunner::Result result = waitForResult(runner);
        EXPECT_FALSE(result.started);
        EXPECT_FALSE(result.output.isEmpty());
        EXPECT_TRUE(tempIsEmpty());
    }
    {
        // Extracted, but not a program.
        const QString notAProgram = scripts.filePath("data.bin");
        QFile file(notAProgram);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x01\x02\x03 not an executable");
        file.close();
        ToolRunner runner(temp.path(), "00000003", notAProgram);
        runner.start({}, {"a", "b", "c"}, work.path());
        const ToolRunner::Result result = waitForResult(runner);
        EXPECT_FALSE(result.started);
        EXPECT_TRUE(result.output.contains("gestartet")) << result.output.toStdString();
        EXPECT_TRUE(tempIsEmpty());
    }
    {
        // The temporary folder is gone: the info file cannot be written.
        ToolRunner runner(temp.filePath("gone"), "00000004", writeScript(scripts.path(), 0));
        runner.start({}, {"a", "b", "c"}, work.path());
        const ToolRunner::Result result = waitForResult(runner);
        EXPECT_FALSE(result.started);
        EXPECT_FALSE(result.output.isEmpty());
    }
}

TEST_F(ToolRunnerTest, DestroyingARunStopsTheToolAndDeletesItsFiles) {
    auto runner = std::make_unique<ToolRunner>(temp.path(), "00000005",
                                               writeScript(scripts.path(), 0, "sleep 30"));
    runner->start({}, {"a", "b", "c"}, work.path());
    ASSERT_TRUE(runner->isRunning());
    ASSERT_TRUE(QFile::exists(runner->toolPath()));
    runner.reset();
    EXPECT_TRUE(tempIsEmpty());
}
