#include "app_core.h"
#include "app_settings.h"
#include "collection.h"
#include "collection_views.h"
#include "command_panel.h"
#include "commands.h"
#include "entry.h"
#include "index_file.h"
#include "lists_integration.h"
#include "mail_account.h"
#include "mail_job.h"
#include "main_window.h"
#include "merkzettel.h"
#include "merkzettel_sharing.h"
#include "quick_search.h"
#include "settings_store.h"
#include "task_service.h"
#include "test_env.h"
#include "text_codec.h"
#include "tree_node.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <gtest/gtest.h>

#include <vector>

#include <string>

namespace {

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? textcodec::decodeIndexText(f.readAll()) : QString();
}

TEST(Merkzettel, AddKeepsDuplicatesRemoveTakesTheFirstMatchIgnoringCase) {
    QStringList list;
    merkzettel::add(list, {"A:\\x\\1.mp3", "B:\\y\\2.mp3", "a:\\X\\1.MP3"});
    struct Case {
        QStringList remove;
        int removed;
        QStringList left;
    } cases[] = {
        {{"c:\\none.mp3"}, 0, {"A:\\x\\1.mp3", "B:\\y\\2.mp3", "a:\\X\\1.MP3"}},
        {{"A:\\X\\1.mp3"}, 1, {"B:\\y\\2.mp3", "a:\\X\\1.MP3"}},
        {{"b:\\Y\\2.mp3", "b:\\Y\\2.mp3"}, 1, {"a:\\X\\1.MP3"}},
        {{"a:\\x\\1.mp3"}, 1, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(merkzettel::remove(list, c.remove), c.removed);
        EXPECT_EQ(list, c.left);
    }
    EXPECT_EQ(merkzettel::explicitSelection(
                  QStringLiteral("Rock%201:%5CQueen%5CA%20%26%20B.mp3&&CD:%5Cx.mp3&%20")),
              (QStringList{"Rock 1:\\Queen\\A & B.mp3", "CD:\\x.mp3"}));
}

TEST(Merkzettel, SavedFileHasSevenLinesForTwoTitlesAndLoadsAsAPadMedium) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Gemerkte Titel.cd"));
    const QStringList titles{"Rock 1:\\Queen\\Innuendo.mp3", "1999 Hits:\\Prince\\1999.mp3"};
    QString error;
    const MerkzettelSharing::Context context{QStringLiteral("Jörg Ä"), QStringLiteral("1.5a"),
                                             QDateTime(QDate(2026, 12, 8), QTime(20, 1))};
    ASSERT_TRUE(MerkzettelSharing::save(path, titles, context, &error)) << error.toStdString();
    const QStringList lines = readText(path).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines.first(), "MEDIATYPE::PAD");
    EXPECT_EQ(lines.at(1), "AUTHOR::Jörg Ä");
    EXPECT_TRUE(
        lines.at(2).contains(QRegularExpression(QStringLiteral("^VERSION::08-DEC-2026 20.01"))))
        << lines.at(2).toStdString();
    EXPECT_EQ(lines.at(3), "COMMENT::Gespeichert mit Vorlune, Version 1.5a");
    EXPECT_EQ(lines.mid(4), (QStringList{":\\Alle gemerkten Titel\\"} + titles));

    Collection other;
    other.CatalogDir = dir.path();
    const LoadReport report = other.LoadAllMedia();
    EXPECT_TRUE(report.errors.isEmpty());
    const TreeNode* media = other.mediaListNode();
    ASSERT_EQ(media->childCount(), 1);
    const TreeNode* medium = media->child(0);
    EXPECT_EQ(medium->text, "Gemerkte Titel");
    ASSERT_TRUE(medium->media);
    EXPECT_EQ(medium->media->MediaType, indexfile::MediaPad);
}

TEST(Mail, AddressesAndEncodedSubjects) {
    const std::pair<const char*, bool> addresses[] = {{"ich@example.org", true},
                                                      {"a.b+c@x.de", true},
                                                      {"", false},
                                                      {"kein-at", false},
                                                      {"a@b@c", false},
                                                      {"@x.de", false},
                                                      {"a@", false},
                                                      {"a b@x.de", false},
                                                      {"a@x.de\r\nBcc: y", false},
                                                      {"<a@x.de>", false},
                                                      {"-oQ@x.de", false},
                                                      {"a,b@x.de", false},
                                                      {"jörg@x.de", false}};
    for (const auto& [address, ok] : addresses)
        EXPECT_EQ(mail::validAddress(QString::fromUtf8(address)), ok) << address;
    EXPECT_EQ(mail::encodedWord(QStringLiteral("Vorlune - Merkzettel von Ich")),
              "Vorlune - Merkzettel von Ich");
    const QByteArray word = mail::encodedWord(QStringLiteral("Merkzettel von Jörg\nBcc: x"));
    EXPECT_TRUE(word.startsWith("=?UTF-8?B?"));
    EXPECT_FALSE(word.contains('\n') && !word.contains("\r\n "));
    QByteArray decoded;
    for (const QByteArray& part : word.split(' ')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith("=?UTF-8?B?")) decoded += QByteArray::fromBase64(p.mid(10, p.size() - 12));
    }
    EXPECT_EQ(QString::fromUtf8(decoded), "Merkzettel von Jörg Bcc: x");
}

// The header block through Python's strict mail parser: no defect in any header, the
// date with its zone as given, and a message id of its own for every mail.
struct HeaderCheck {
    int exitCode = -1;
    QStringList output; // the date (ISO) and the Message-ID, or the faults
};

HeaderCheck checkHeaders(const QByteArray& message) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(LISTS_TEST_DIR "/check_headers.py")});
    if (!p.waitForStarted(5000)) return {};
    p.write(message);
    p.closeWriteChannel();
    if (!p.waitForFinished(20000)) return {};
    return {p.exitCode(),
            QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)};
}

TEST(Mail, HeaderBlockPassesAStrictParser) {
    const QDate day(2026, 12, 9);
    const QTime time(11, 26, 18);
    const struct {
        QDateTime date;
        const char* iso;
        const char* fromName;
        const char* subject;
    } cases[] = {
        {QDateTime(day, time, Qt::UTC), "2026-12-09T11:26:18+00:00", "Vorlune", "Merkzettel"},
        {QDateTime(day, time, Qt::OffsetFromUTC, 5 * 3600 + 1800), "2026-12-09T11:26:18+05:30",
         "Vorlune", "Vorlune - Merkzettel von Jörg"},
        {QDateTime(day, time, Qt::OffsetFromUTC, -3 * 3600), "2026-12-09T11:26:18-03:00", "V, W",
         "Ωmega\r\nBcc: x"},
        {QDateTime(QDate(2026, 1, 31), QTime(0, 0), Qt::OffsetFromUTC, -(9 * 3600 + 2700)),
         "2026-01-31T00:00:00-09:45", "Vorlune", "x"},
    };
    QStringList ids;
    for (const auto& c : cases) {
        MailMessage m{QString::fromUtf8(c.fromName), "ich@example.org", "du@example.org",
                      QString::fromUtf8(c.subject),  {"Zeile"},         c.date};
        const HeaderCheck check = checkHeaders(mail::compose(m));
        ASSERT_EQ(check.exitCode, 0) << check.output.join(u'\n').toStdString();
        ASSERT_EQ(check.output.size(), 2);
        EXPECT_EQ(check.output.at(0), QString::fromLatin1(c.iso));
        EXPECT_TRUE(check.output.at(1).endsWith(QStringLiteral("@example.org>")))
            << check.output.at(1).toStdString();
        ids << check.output.at(1);
    }
    ids.removeDuplicates();
    EXPECT_EQ(ids.size(), int(std::size(cases)));
}

// Whatever the names, addresses, date and body, the message keeps its own header fields
// only, each well-formed, and no line passes the limit of a mail line.
TEST(Mail, NoInputBreaksOrAddsAHeader) {
    const QDateTime now(QDate(2026, 12, 9), QTime(11, 26, 18), Qt::UTC);
    const std::string longAddress(1500, 'a');
    // Names that fit a header line alone, but not beside a long address or once escaped.
    const std::string quotes(900, '"');
    const std::string longName(900, 'n');
    const std::string fullAddress = std::string(240, 'a') + "@example.org";
    const struct {
        const char* fromName;
        const char* from;
        const char* to;
        QString subject;
        QStringList lines;
        QDateTime date;
    } cases[] = {
        {"Vor\"lune\\", "ich@example.org", "du@example.org", "x", {"a"}, now},
        {"Jörg \"J\"", "ich@example.org", "du@example.org", "x", {"a"}, now},
        {"V", "ich@example.org\r\nBcc: y@z", "du@example.org>\r\nX-A: b", "x", {"a"}, now},
        {"V", "jörg@example.org", "a b@x.de", "x", {"a"}, now},
        {"V", "ich@example.org", longAddress.c_str(), "x", {"a"}, now},
        {quotes.c_str(), "ich@example.org", "du@example.org", "x", {"a"}, now},
        {longName.c_str(), fullAddress.c_str(), "du@example.org", "x", {"a"}, now},
        {"V", "ich@example.org", "du@example.org", QString(1200, u'a'), {"a"}, now},
        {"V",
         "ich@example.org",
         "du@example.org",
         "x",
         {QStringLiteral("a") + QChar(0) + QStringLiteral("b"), "c"},
         now},
        {"V",
         "ich@example.org",
         "du@example.org",
         "x",
         {"a"},
         QDateTime(QDate(-44, 3, 15), QTime(12, 0), Qt::UTC)},
        {"V",
         "ich@example.org",
         "du@example.org",
         "x",
         {"a"},
         QDateTime(QDate(1899, 12, 31), QTime(12, 0), Qt::UTC)},
    };
    for (const auto& c : cases) {
        MailMessage m{QString::fromUtf8(c.fromName),
                      QString::fromUtf8(c.from),
                      QString::fromUtf8(c.to),
                      c.subject,
                      c.lines,
                      c.date};
        const QByteArray text = mail::compose(m);
        // An address send() refuses cannot make a valid header; it must not break one.
        if (mail::validAddress(m.from) && mail::validAddress(m.to)) {
            const HeaderCheck check = checkHeaders(text);
            EXPECT_EQ(check.exitCode, 0) << check.output.join(u'\n').toStdString();
        }
        const QByteArray head = text.left(text.indexOf("\r\n\r\n"));
        QList<QByteArray> names;
        for (const QByteArray& line : head.split('\n')) {
            EXPECT_LE(line.size(), mail::kMaxLineOctets + 1);
            for (const char ch : line)
                EXPECT_TRUE(uchar(ch) < 0x80 && (uchar(ch) >= 0x20 || ch == '\r')) << line.data();
            if (!line.startsWith(' ')) names << line.left(line.indexOf(':'));
        }
        EXPECT_EQ(names,
                  QList<QByteArray>({"Date", "Message-ID", "From", "To", "Subject", "MIME-Version",
                                     "Content-Type", "Content-Transfer-Encoding"}))
            << text.data();
        EXPECT_FALSE(text.mid(head.size()).contains('\0'));
    }
}

// A line longer than a mail line may be sends the body as quoted-printable, which gives
// back every line whole; short lines go as they are.
TEST(Mail, LongLinesGoQuotedPrintable) {
    auto decode = [](QByteArray text) {
        text.replace("=\r\n", "");
        QByteArray out;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == '=' && i + 2 < text.size()) {
                out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
                i += 2;
            } else {
                out += text.at(i);
            }
        }
        return out;
    };
    const QString longLine =
        QStringLiteral("Lang:\\") + QString(600, u'ä') + QStringLiteral(" =.mp3 ");
    const struct {
        QStringList lines;
        bool quoted;
    } cases[] = {{{"kurz", "Jörg = gut "}, false}, {{"kurz", longLine, "a = b\t"}, true}};
    for (const auto& c : cases) {
        MailMessage m{"Vorlune", "ich@example.org", "du@example.org", "x", c.lines, {}};
        const QByteArray text = mail::compose(m);
        const qsizetype split = text.indexOf("\r\n\r\n");
        ASSERT_GT(split, 0);
        EXPECT_EQ(text.left(split).contains("Content-Transfer-Encoding: quoted-printable"),
                  c.quoted);
        const QByteArray body = text.mid(split + 4);
        for (const QByteArray& line : body.split('\n'))
            EXPECT_LE(line.size(), c.quoted ? 77 : mail::kMaxLineOctets + 1);
        EXPECT_EQ(QString::fromUtf8(c.quoted ? decode(body) : body),
                  c.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    }
}

// A real SMTP server on loopback (aiosmtpd); it keeps each message as received.
class SmtpPeer {
public:
    explicit SmtpPeer(const QStringList& credentials = {}) {
        process_.setProgram(QStringLiteral("/usr/bin/python3"));
        process_.setArguments(
            QStringList{QStringLiteral(LISTS_TEST_DIR "/smtp_server.py"), out_.path()} +
            credentials);
        process_.start();
        if (process_.waitForReadyRead(10000)) port_ = process_.readLine().trimmed().toInt();
    }
    ~SmtpPeer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000)) process_.kill();
        process_.waitForFinished(1000);
    }
    int port() const { return port_; }
    QString message(int n) const {
        return readText(out_.filePath(QStringLiteral("%1.eml").arg(n)));
    }
    QByteArray raw(int n) const {
        QFile f(out_.filePath(QStringLiteral("%1.eml").arg(n)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString envelope(int n) const {
        return readText(out_.filePath(QStringLiteral("%1.env").arg(n)));
    }

private:
    QTemporaryDir out_;
    QProcess process_;
    int port_ = 0;
};

MailAccount account(int port, const QString& user = {}, const QString& password = {}) {
    MailAccount a;
    a.server = QStringLiteral("127.0.0.1");
    a.port = port;
    a.user = user;
    a.password = password;
    a.sender = QStringLiteral("ich@example.org");
    return a;
}

struct Sent {
    bool ok = false;
    QString reason;
};

Sent sendAndWait(MerkzettelSharing& sharing, const MailAccount& a, const QStringList& titles,
                 const MerkzettelSharing::Context& context) {
    QSignalSpy done(&sharing, &MerkzettelSharing::mailFinished);
    EXPECT_TRUE(sharing.send(a, QStringLiteral("du@example.org"), titles, context));
    EXPECT_TRUE(done.wait(40000));
    if (done.isEmpty()) return {};
    return {done.first().at(0).toBool(), done.first().at(1).toString()};
}

TEST(Mail, SentThroughTheUsersAccountByteForByte) {
    const QStringList titles{"Rock 1:\\Queen\\Innuendo.mp3", "Jazz:\\Ö\\.mp3"};
    const MerkzettelSharing::Context context{QStringLiteral("Jörg"),
                                             QStringLiteral("1.5a (Build 300)"),
                                             QDateTime(QDate(2026, 12, 8), QTime(20, 1))};
    MerkzettelSharing sharing;

    struct Case {
        QStringList serverCredentials;
        QString user, password;
        bool ok;
        QString auth;
    } cases[] = {
        {{}, {}, {}, true, {}},
        {{"nutzer", "geheim"}, "nutzer", "geheim", true, "LOGIN"},
        {{"nutzer", "geheim"}, "nutzer", "falsch", false, {}},
    };
    for (const Case& c : cases) {
        SmtpPeer peer(c.serverCredentials);
        ASSERT_GT(peer.port(), 0);
        QElapsedTimer clock;
        clock.start();
        const Sent sent =
            sendAndWait(sharing, account(peer.port(), c.user, c.password), titles, context);
        EXPECT_EQ(sent.ok, c.ok) << sent.reason.toStdString();
        if (!c.ok) {
            // The server's refusal, not a time-out.
            EXPECT_TRUE(sent.reason.contains(QStringLiteral("SMTP 535")))
                << sent.reason.toStdString();
            EXPECT_LT(clock.elapsed(), 1000);
            EXPECT_TRUE(peer.message(1).isEmpty());
            continue;
        }
        EXPECT_TRUE(peer.envelope(1).contains(QStringLiteral("auth=") + c.auth + u'\n'))
            << peer.envelope(1).toStdString();
        const HeaderCheck check = checkHeaders(peer.raw(1));
        EXPECT_EQ(check.exitCode, 0) << check.output.join(u'\n').toStdString();
        const QString text = peer.message(1);
        const qsizetype split = text.indexOf(QStringLiteral("\r\n\r\n"));
        ASSERT_GT(split, 0);
        const QStringList headers = text.left(split).split(QStringLiteral("\r\n"));
        EXPECT_TRUE(headers.contains(QStringLiteral("From: \"Vorlune\" <ich@example.org>")));
        EXPECT_TRUE(headers.contains(QStringLiteral("To: <du@example.org>")));
        EXPECT_TRUE(headers.contains(
            QStringLiteral("Subject: =?UTF-8?B?") +
            QString::fromLatin1(QByteArray("Vorlune - Merkzettel von Jörg").toBase64()) +
            QStringLiteral("?=")));
        EXPECT_TRUE(headers.contains(QStringLiteral("Content-Type: text/plain; charset=UTF-8")));
        const QString body = text.mid(split + 4);
        EXPECT_FALSE(body.contains(QRegularExpression(QStringLiteral("[^\r]\n"))));
        const QStringList lines = body.split(QStringLiteral("\r\n"));
        const QStringList head = merkzettel::mailHead(QStringLiteral("Jörg")) +
                                 QStringList{QString(), QString(), QString()};
        EXPECT_EQ(lines.mid(0, 15), head);
        EXPECT_EQ(lines.mid(15, 8),
                  (QStringList{"BEGIN::CD", "MEDIATYPE::PAD", "AUTHOR::Jörg",
                               "VERSION::" + MerkzettelSharing::dateTimeText(context.now),
                               "COMMENT::Versandt durch Vorlune, Version 1.5a (Build 300)",
                               ":\\Alle gemerkten Titel\\"} +
                   titles));
    }

    // Nobody listening.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const int port = closed.serverPort();
    closed.close();
    const Sent sent = sendAndWait(sharing, account(port), titles, context);
    EXPECT_FALSE(sent.ok);
    EXPECT_FALSE(sent.reason.isEmpty());
}

// The save dialog asks before overwriting in German like the rest of the program.
TEST(Merkzettel, TheSaveDialogAsksInGerman) {
    const char* question = "%1 already exists.\nDo you want to replace it?";
    QTranslator toolkit;
    ASSERT_TRUE(entry::installToolkitTexts(toolkit));
    const QString asked = QCoreApplication::translate("QFileDialog", question);
    QCoreApplication::removeTranslator(&toolkit);
    EXPECT_NE(asked, QString::fromLatin1(question));
    EXPECT_TRUE(asked.contains(QStringLiteral("%1"))) << asked.toStdString();
}

// A server that takes the connection and never answers: a job going away does not wait
// for it, and its transfer stops long before the time-out.
TEST(Mail, AJobGoingAwayDoesNotWaitForASilentServer) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    TaskService tasks;
    QElapsedTimer clock;
    clock.start();
    {
        MailJob job;
        job.setTaskService(&tasks);
        const QByteArray message = "Subject: x\r\n\r\ny\r\n";
        ASSERT_TRUE(job.start(account(silent.serverPort()), "du@example.org", message, 60));
        EXPECT_FALSE(job.start(account(silent.serverPort()), "du@example.org", message, 60));
        QTest::qWait(300);
        EXPECT_TRUE(job.isRunning());
    }
    EXPECT_LT(clock.elapsed(), 1500);
    tasks.waitForWorkers();
    EXPECT_LT(clock.elapsed(), 15000);
    // The cancelled job still ends, as failed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return tasks.count() == 0; }, 2000));
}

// The Merkzettel in the main window: commands, enabling, persistence, mailing.
class ListsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue = env.path(QStringLiteral("katalog"));
        QDir().mkpath(catalogue);
        QString error;
        ASSERT_TRUE(
            indexfile::writeIndexFile(catalogue + QStringLiteral("/a.cd"),
                                      {"BEGIN::CD", "LABEL::Erste", "Erste:\\Ordner\\",
                                       "Erste:\\Ordner\\Eins.mp3", "Erste:\\Ordner\\Zwei.mp3"},
                                      &error));
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
    }
    std::unique_ptr<TForm1> window() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook(
            [this](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
                boxes << text;
                return answer;
            });
        bool done = false;
        // Gone after the first load: a reload must not reach this frame.
        const QMetaObject::Connection c =
            QObject::connect(w.get(), &TForm1::loadFinished, [&done] { done = true; });
        w->show();
        EXPECT_TRUE(waitFor([&] { return done; }));
        QObject::disconnect(c);
        return w;
    }
    bool enabled(TForm1& w, const char* command) {
        return w.commandTable().isEnabled(QLatin1String(command));
    }

    IsolatedEnvironment env;
    QString catalogue;
    std::unique_ptr<SettingsStore> store;
    QStringList boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
};

TEST_F(ListsWindowTest, EnablingPersistenceAndClearing) {
    const QString one = QStringLiteral("Erste:\\Ordner\\Eins.mp3");
    {
        auto w = window();
        ListsIntegration* lists = w->lists();
        ASSERT_NE(lists, nullptr);
        for (const char* c : {cmd::SaveBrainList, cmd::MailBrainList, cmd::ClearBrainList})
            EXPECT_FALSE(enabled(*w, c)) << c;
        EXPECT_FALSE(w->action(QStringLiteral("ZumWeitergebenspeichern1"))->isEnabled());
        lists->rememberTitles({one, one});
        EXPECT_EQ(lists->list(), (QStringList{one, one}));
        EXPECT_TRUE(w->action(QStringLiteral("ZumWeitergebenspeichern1"))->isEnabled());
        EXPECT_TRUE(w->action(QStringLiteral("PereMailverschicken1"))->isEnabled());
        // The web view's argument form.
        EXPECT_TRUE(w->commandTable().isEnabled(QLatin1String(cmd::SaveBrainList)));
        w->close();
    }
    {
        auto w = window();
        EXPECT_EQ(w->lists()->list(), QStringList{one}); // the duplicate came back once
        EXPECT_TRUE(enabled(*w, cmd::MailBrainList));
        answer = QMessageBox::No;
        w->commandTable().run(QLatin1String(cmd::ClearBrainList));
        EXPECT_EQ(w->lists()->list().size(), 1);
        answer = QMessageBox::Ok;
        w->commandTable().run(QLatin1String(cmd::ClearBrainList));
        EXPECT_TRUE(w->lists()->list().isEmpty());
        EXPECT_FALSE(enabled(*w, cmd::MailBrainList));
        EXPECT_FALSE(w->lists()
                         ->popupMenu2()
                         ->findChild<QAction*>(QStringLiteral("PereMailverschicken2"))
                         ->isEnabled());
        EXPECT_EQ(boxes.last(), "Die Liste der gemerkten Titel wurde gelöscht.");
    }
}

TEST_F(ListsWindowTest, SavingAndMailingThroughTheDesktopOrTheAccount) {
    auto w = window();
    ListsIntegration* lists = w->lists();
    lists->rememberTitles({QStringLiteral("Erste:\\Ordner\\Eins.mp3")});

    // Save: cancelled writes nothing; a path gets the file.
    const QString saved = env.path(QStringLiteral("Gemerkte Titel.cd"));
    lists->setSaveFilePrompt([] { return QString(); });
    w->commandTable().run(QLatin1String(cmd::SaveBrainList));
    EXPECT_FALSE(QFile::exists(saved));
    lists->setSaveFilePrompt([&] { return saved; });
    w->commandTable().run(QLatin1String(cmd::SaveBrainList));
    EXPECT_TRUE(readText(saved).startsWith(QStringLiteral("MEDIATYPE::PAD\r\n")));

    // No account: the desktop mail program (a stand-in recording its arguments).
    const QString record = env.path(QStringLiteral("args.txt"));
    const QString standIn = env.path(QStringLiteral("xdg-email"));
    {
        QFile f(standIn);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral(
                    "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n--\\n' \"$a\"; done > '%1'\n")
                    .arg(record)
                    .toUtf8());
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    lists->setDesktopMailProgram(standIn);
    lists->setRecipientPrompt([] { return QString(); });
    const qsizetype shown = boxes.size();
    w->commandTable().run(QLatin1String(cmd::MailBrainList));
    EXPECT_EQ(boxes.size(), shown); // an empty answer: nothing sent, nothing shown
    boxes.clear();
    lists->setRecipientPrompt([] { return QStringLiteral("kein adresse"); });
    w->commandTable().run(QLatin1String(cmd::MailBrainList));
    EXPECT_EQ(boxes.size(), 1); // refused with a message, nothing handed on
    lists->setRecipientPrompt([] { return QStringLiteral("du@example.org"); });
    w->commandTable().run(QLatin1String(cmd::MailBrainList));
    ASSERT_TRUE(
        waitFor([&] { return readText(record).contains(QStringLiteral("du@example.org")); }));
    const QStringList args = readText(record).split(QStringLiteral("\n--\n"));
    EXPECT_EQ(args.at(0), "--utf8");
    EXPECT_EQ(args.at(2), "Vorlune - Merkzettel von " + merkzettel::registeredOwner());
    EXPECT_TRUE(args.at(4).contains(QStringLiteral("BEGIN::CD\r\nMEDIATYPE::PAD")));
    EXPECT_EQ(w->statusText->text(), "Der Merkzettel wurde an das e-Mail-Programm übergeben.");

    // With an account: sent, and the result shown.
    SmtpPeer peer;
    ASSERT_GT(peer.port(), 0);
    account(peer.port()).save(*store);
    QSignalSpy done(lists, &ListsIntegration::mailDone);
    w->commandTable().run(QLatin1String(cmd::MailBrainList));
    ASSERT_TRUE(done.wait(30000));
    EXPECT_TRUE(done.first().first().toBool());
    EXPECT_EQ(boxes.last(), "Die e-Mail wurde erfolgreich gesendet.");
    EXPECT_TRUE(peer.message(1).contains(QStringLiteral("Erste:\\Ordner\\Eins.mp3")));

    // A server that is gone: the error message, the reason kept for its details.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    account(closed.serverPort()).save(*store);
    closed.close();
    done.clear();
    w->commandTable().run(QLatin1String(cmd::MailBrainList));
    ASSERT_TRUE(done.wait(30000));
    EXPECT_FALSE(done.first().first().toBool());
    EXPECT_EQ(boxes.last(), "Die e-Mail konnte nicht versandt werden.");
    EXPECT_FALSE(lists->lastMailError().isEmpty());
    EXPECT_TRUE(w->statusText->text().isEmpty());
}

// While a mail is under way, mailing is disabled everywhere and asks nothing; a server
// that refuses the login is answered with its refusal at once.
TEST_F(ListsWindowTest, MailUnderWayDisablesMailingAndARefusalShowsAtOnce) {
    auto w = window();
    ListsIntegration* lists = w->lists();
    lists->rememberTitles({QStringLiteral("Erste:\\Ordner\\Eins.mp3")});
    int asked = 0;
    lists->setRecipientPrompt([&asked] {
        ++asked;
        return QStringLiteral("du@example.org");
    });
    QAction* items[] = {
        w->action(QStringLiteral("PereMailverschicken1")),
        lists->popupMenu2()->findChild<QAction*>(QStringLiteral("PereMailverschicken2"))};
    for (QAction* a : items) {
        ASSERT_NE(a, nullptr);
        EXPECT_TRUE(a->isEnabled());
    }

    // A server that takes the connection and says nothing keeps the mail under way.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    account(silent.serverPort()).save(*store);
    items[0]->trigger();
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(waitFor([&] { return silent.hasPendingConnections(); }, 10000));
    EXPECT_TRUE(lists->sharing().isSending());
    EXPECT_FALSE(enabled(*w, cmd::MailBrainList));
    for (QAction* a : items)
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    const qsizetype shown = boxes.size();
    items[1]->trigger();
    EXPECT_FALSE(w->commandTable().run(QLatin1String(cmd::MailBrainList)));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(boxes.size(), shown);
    // The server hangs up: the failure is shown and mailing is possible again.
    QSignalSpy done(lists, &ListsIntegration::mailDone);
    delete silent.nextPendingConnection();
    ASSERT_TRUE(done.wait(10000));
    EXPECT_FALSE(done.first().first().toBool());
    EXPECT_EQ(boxes.last(), "Die e-Mail konnte nicht versandt werden.");
    for (QAction* a : items)
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();

    // A wrong password: the server's 535 within a second.
    SmtpPeer peer({QStringLiteral("nutzer"), QStringLiteral("geheim")});
    ASSERT_GT(peer.port(), 0);
    account(peer.port(), QStringLiteral("nutzer"), QStringLiteral("falsch")).save(*store);
    done.clear();
    boxes.clear();
    QElapsedTimer clock;
    clock.start();
    items[0]->trigger();
    ASSERT_TRUE(waitFor([&] { return !boxes.isEmpty(); }, 30000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(boxes.last(), "Die e-Mail konnte nicht versandt werden.");
    EXPECT_TRUE(lists->lastMailError().contains(QStringLiteral("SMTP 535")))
        << lists->lastMailError().toStdString();
    EXPECT_TRUE(peer.message(1).isEmpty());
    EXPECT_EQ(asked, 2);
}

// Title lines with control characters never enter the Merkzettel (from the settings, a
// web page's selection or the list) and never reach a file or mail written from it.
TEST_F(ListsWindowTest, ControlCharactersNeverEnterATitle) {
    const QString good = QStringLiteral("Erste:\\Ordner\\Eins.mp3");
    const QStringList hostile{
        QStringLiteral("Erste:\\a.mp3\r\nMEDIATYPE::LAN::\\\\host\\share"),
        QStringLiteral("Erste:\\b.mp3\nLABEL::Fremd"),
        QStringLiteral("Erste:\\c.mp3\rSTYLE::BOLD::x"),
        QStringLiteral("Erste:\\d\t.mp3"),
        QStringLiteral("Erste:\\e") + QChar(0) + QStringLiteral(".mp3"),
        QStringLiteral("Erste:\\f\x7f.mp3"),
        QStringLiteral("Erste:\\g\x1b[31m.mp3"),
    };
    store->createKey(appsettings::kBrainMruKey);
    for (const QString& line : hostile + QStringList{good})
        store->writeText(appsettings::kBrainMruKey, line, QString());
    auto w = window();
    ListsIntegration* lists = w->lists();
    EXPECT_EQ(lists->list(), QStringList{good});

    QStringList encoded;
    for (const QString& line : hostile)
        encoded << QString::fromLatin1(QUrl::toPercentEncoding(line));
    w->commandTable().run(QLatin1String(cmd::Remember), encoded.join(u'&'));
    lists->rememberTitles(hostile);
    EXPECT_EQ(lists->list(), QStringList{good});

    // Written from a list that holds them anyway: the file and the mail have the good
    // title only, every line as the list without them gives.
    const MerkzettelSharing::Context context{QStringLiteral("Jörg"), QStringLiteral("1.5a"),
                                             QDateTime(QDate(2026, 12, 8), QTime(20, 1))};
    const QString saved = env.path(QStringLiteral("Gemerkte Titel.cd"));
    QString error;
    ASSERT_TRUE(MerkzettelSharing::save(saved, hostile + QStringList{good}, context, &error))
        << error.toStdString();
    EXPECT_EQ(readText(saved).split(QStringLiteral("\r\n")),
              indexfile::savedMerkzettelLines(context.owner,
                                              MerkzettelSharing::dateTimeText(context.now),
                                              context.versionString, {good}) +
                  QStringList{QString()});
    EXPECT_EQ(MerkzettelSharing::mailLines(hostile + QStringList{good}, context),
              MerkzettelSharing::mailLines({good}, context));

    // The writer refuses any line with one and leaves the file as it was.
    for (const QString& line : hostile) {
        const QString before = readText(saved);
        error.clear();
        EXPECT_FALSE(indexfile::writeIndexFile(saved, {QStringLiteral("BEGIN::CD"), line}, &error))
            << line.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(readText(saved), before);
    }
}

// Labels that show names (the status bar above all) show them as they are, never as markup.
TEST_F(ListsWindowTest, LabelsShowNamesAsPlainText) {
    auto w = window();
    const QString name = QStringLiteral("<img src=x>T1<b>fett &amp; .mp3");
    ASSERT_NE(w->quickSearch(), nullptr);
    w->quickSearch()->setText(name);
    w->quickSearch()->run();
    ASSERT_TRUE(waitFor([&] { return w->statusText->text().contains(name); }, 10000))
        << w->statusText->text().toStdString();
    int shown = 0;
    QList<QLabel*> labels = w->findChildren<QLabel*>();
    for (QWidget* top : QApplication::topLevelWidgets())
        labels += top->findChildren<QLabel*>();
    for (const QLabel* label : labels) {
        if (!label->text().contains(name)) continue;
        ++shown;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
    }
    EXPECT_GE(shown, 1);
}

// A new user's round: titles remembered from two media through the menus, the program
// restarted, the list saved into a second installation's catalogue and mailed there; the
// second installation loads the saved file and the saved mail as media of type PAD.
TEST_F(ListsWindowTest, RememberedRestartedSavedAndMailedToASecondInstallation) {
    QString error;
    ASSERT_TRUE(indexfile::writeIndexFile(
        catalogue + QStringLiteral("/b.cd"),
        {"BEGIN::CD", "LABEL::Zweite", "Zweite:\\Jazz\\", "Zweite:\\Jazz\\Drei.mp3"}, &error));
    const QStringList titles{"Erste:\\Ordner\\Eins.mp3", "Erste:\\Ordner\\Zwei.mp3",
                             "Zweite:\\Jazz\\Drei.mp3"};
    auto w = window();
    TreeNode* media = w->collection().mediaListNode();
    ASSERT_EQ(media->childCount(), 2);
    const char* items[] = {"Merken1", "Merken2"}; // the file menu's, the context menu's
    for (int i = 0; i < 2; ++i) {
        w->views()->selectNode(media->child(i)->child(0));
        w->views()->selectAll();
        QAction* item = w->action(QLatin1String(items[i]));
        if (!item) item = w->lists()->popupMenu1()->findChild<QAction*>(QLatin1String(items[i]));
        ASSERT_TRUE(item && item->isEnabled()) << items[i];
        item->trigger();
    }
    EXPECT_EQ(w->lists()->list(), titles);
    w->views()->selectFixedNode(Collection::MerkzettelNode);
    w->views()->selectAll();
    EXPECT_EQ(w->views()->itemCount(), 3);
    EXPECT_FALSE(w->action(QStringLiteral("Merken1"))->isEnabled());
    EXPECT_TRUE(enabled(*w, cmd::RemoveTitle));
    w->close();
    w.reset();

    w = window();
    EXPECT_EQ(w->lists()->list(), titles);
    const QString second = env.path(QStringLiteral("zweite/katalog"));
    ASSERT_TRUE(QDir().mkpath(second));
    w->lists()->setSaveFilePrompt([&] { return second + QStringLiteral("/Gemerkte Titel.cd"); });
    w->action(QStringLiteral("ZumWeitergebenspeichern1"))->trigger();
    SmtpPeer peer;
    ASSERT_GT(peer.port(), 0);
    account(peer.port()).save(*store);
    w->lists()->setRecipientPrompt([] { return QStringLiteral("du@example.org"); });
    QSignalSpy done(w->lists(), &ListsIntegration::mailDone);
    w->lists()
        ->popupMenu2()
        ->findChild<QAction*>(QStringLiteral("PereMailverschicken2"))
        ->trigger();
    ASSERT_TRUE(done.wait(30000));
    ASSERT_TRUE(done.first().first().toBool());
    // The receiver keeps the mail's text as an index file.
    const QString mail = peer.message(1);
    {
        QFile f(second + QStringLiteral("/Per Mail.cd"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(mail.mid(mail.indexOf(QStringLiteral("\r\n\r\n")) + 4).toUtf8());
    }
    w->close();
    w.reset();

    TForm1::Environment e;
    e.catalogDir = second;
    e.dataDir = env.path(QStringLiteral("zweite/data"));
    e.tempDir = env.path(QStringLiteral("zweite/tmp"));
    SettingsStore otherStore(env.path(QStringLiteral("zweite/registry.json")));
    e.store = &otherStore;
    TForm1 other(e);
    bool loaded = false;
    QObject::connect(&other, &TForm1::loadFinished, &other, [&loaded] { loaded = true; });
    other.show();
    ASSERT_TRUE(waitFor([&] { return loaded; }));
    const TreeNode* otherMedia = other.collection().mediaListNode();
    ASSERT_EQ(otherMedia->childCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const TreeNode* medium = otherMedia->child(i);
        ASSERT_TRUE(medium->media) << medium->text.toStdString();
        EXPECT_EQ(medium->media->MediaType, indexfile::MediaPad) << medium->text.toStdString();
    }
    EXPECT_EQ(other.collection().titleCount, 6);
}

// A list too long for one argument goes to the mail program as the attached saved file,
// the body keeping the head that says what to do with it.
TEST_F(ListsWindowTest, LongListGoesToTheMailProgramAsAttachment) {
    auto w = window();
    ListsIntegration* lists = w->lists();
    QStringList titles;
    for (int i = 0; i < 700; ++i)
        titles
            << QStringLiteral("Erste:\\Ordner\\Titel Nummer %1 mit einem langen Namen.mp3").arg(i);
    lists->rememberTitles(titles);
    const QString record = env.path(QStringLiteral("args.txt"));
    const QString standIn = env.path(QStringLiteral("xdg-email"));
    {
        QFile f(standIn);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n--\\n' \"$a\"; done > "
                               "'%1.part'\nmv '%1.part' '%1'\n")
                    .arg(record)
                    .toUtf8());
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    lists->setDesktopMailProgram(standIn);
    lists->setRecipientPrompt([] { return QStringLiteral("du@example.org"); });
    w->commandTable().run(QLatin1String(cmd::MailBrainList));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(record); }));
    const QStringList args = readText(record).split(QStringLiteral("\n--\n"));
    const qsizetype attach = args.indexOf(QStringLiteral("--attach"));
    ASSERT_GT(attach, 0);
    EXPECT_EQ(args.at(attach + 1 + 1), "du@example.org");
    EXPECT_EQ(args.at(attach - 1).split(QStringLiteral("\r\n")),
              merkzettel::mailHead(merkzettel::registeredOwner()));
    const QStringList saved =
        readText(args.at(attach + 1)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    EXPECT_EQ(saved.size(), 5 + titles.size());
    EXPECT_EQ(saved.mid(5), titles);
    EXPECT_EQ(w->statusText->text(), "Der Merkzettel wurde an das e-Mail-Programm übergeben.");
}

// Every item of the menu bar, the Merkzettel menu and the title list's context menu: an
// enabled item acts when clicked (its command runs, its check mark or a window changes,
// a dialog or message comes up); Beenden closes the window.
TEST_F(ListsWindowTest, EveryEnabledMenuItemActs) {
    qputenv("VORLUNE_AUDIO_OUTPUT", "null");
    qputenv("VORLUNE_VIDEO_OUTPUT", "null");
    auto w = window();
    ListsIntegration* lists = w->lists();
    lists->rememberTitles({QStringLiteral("Erste:\\Ordner\\Eins.mp3")});
    lists->setSaveFilePrompt([] { return QString(); });
    lists->setRecipientPrompt([] { return QString(); });
    TreeNode* media = w->collection().node(Collection::MediaList);
    ASSERT_GT(media->childCount(), 0);
    ASSERT_GT(media->child(0)->childCount(), 0);
    w->views()->selectNode(media->child(0)->child(0));
    ASSERT_EQ(w->views()->itemCount(), 2);
    w->views()->selectAll();

    // The context menu opens on the list.
    QAbstractItemView* view = w->views()->list();
    emit view->customContextMenuRequested(QPoint(5, 5));
    ASSERT_TRUE(waitFor([&] { return lists->popupMenu1()->isVisible(); }));
    lists->popupMenu1()->close();

    int modals = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* m = QApplication::activeModalWidget()) {
            ++modals;
            m->close();
        }
        if (QWidget* p = QApplication::activePopupWidget()) p->close();
    });
    closer.start(20);

    // The web view's switch needs the engine and a display (the web window tests have
    // both); Beenden comes last.
    const QStringList skipped{"Browser1", "Browser2", "Beenden1"};
    QList<QAction*> items;
    std::function<void(QMenu*)> collect = [&](QMenu* menu) {
        for (QAction* a : menu->actions()) {
            if (a->menu())
                collect(a->menu());
            else if (!a->isSeparator() && !skipped.contains(a->objectName()))
                items << a;
        }
    };
    for (QAction* a : w->menuBar()->actions())
        if (a->menu()) collect(a->menu());
    collect(lists->popupMenu2());
    collect(lists->popupMenu1());
    ASSERT_GT(items.size(), 40);

    QStringList idle;
    int enabled = 0;
    for (QAction* a : items) {
        if (!a->isEnabled()) continue;
        ++enabled;
        // A choice already made is made again after another one.
        if (QActionGroup* g = a->actionGroup(); g && g->isExclusive() && a->isChecked())
            for (QAction* other : g->actions())
                if (other != a && other->isEnabled()) {
                    other->trigger();
                    break;
                }
        QSignalSpy ran(&w->commandTable(), &CommandTable::ran);
        const bool checked = a->isChecked();
        const qsizetype shown = boxes.size();
        const int modalsBefore = modals;
        QSet<QWidget*> windows;
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->isVisible()) windows.insert(t);
        const QString status = w->statusText->text();
        a->trigger();
        QTest::qWait(60);
        bool opened = false;
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->isVisible() && !windows.contains(t) && !qobject_cast<QMenu*>(t)) {
                opened = true;
                t->close();
            }
        const bool acted = !ran.isEmpty() || a->isChecked() != checked || boxes.size() > shown ||
                           modals > modalsBefore || opened || w->statusText->text() != status;
        if (!acted) idle << a->objectName() + u' ' + a->text();
    }
    EXPECT_GT(enabled, 20);
    EXPECT_TRUE(idle.isEmpty()) << idle.join(u'\n').toStdString();

    // The context menu's view items and the main menu's stay in step either way; arranging
    // on the grid is offered for the icon styles only.
    QMenu* viewMenu = lists->popupMenu1()->findChild<QMenu*>(QStringLiteral("Ansicht2"));
    ASSERT_NE(viewMenu, nullptr);
    auto own = [viewMenu](const char* name) {
        return viewMenu->findChild<QAction*>(QLatin1String(name));
    };
    const struct {
        const char *clicked, *main, *mirror;
        bool viaMain;
        bool arrange;
    } steps[] = {
        {"GroeSymbole2", "GroeSymbole1", "GroeSymbole2", false, true},
        {"Liste1", "Liste1", "Liste2", true, false},
        {"KleineSymbole1", "KleineSymbole1", "KleineSymbole2", true, true},
        {"Details2", "Details1", "Details2", false, false},
        {"Name2", "Name1", "Name2", false, false},
        {"AusfhrlicherName1", "AusfhrlicherName1", "AusfhrlicherName2", true, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.clicked);
        QAction* clicked =
            step.viaMain ? w->action(QLatin1String(step.clicked)) : own(step.clicked);
        ASSERT_NE(clicked, nullptr);
        const bool before = w->action(QLatin1String(step.main))->isChecked();
        clicked->trigger();
        QTest::qWait(20);
        const bool after = w->action(QLatin1String(step.main))->isChecked();
        if (clicked->actionGroup())
            EXPECT_TRUE(after);
        else
            EXPECT_NE(after, before);
        EXPECT_EQ(own(step.mirror)->isChecked(), after);
        EXPECT_EQ(w->action(QStringLiteral("AmRasterausrichten1"))->isEnabled(), step.arrange);
        EXPECT_EQ(own("AmRasterausrichten2")->isEnabled(), step.arrange);
        if (step.arrange) {
            QSignalSpy ran(&w->commandTable(), &CommandTable::ran);
            own("AmRasterausrichten2")->trigger();
            EXPECT_EQ(ran.value(0).value(0).toString(), QLatin1String(cmd::ArrangeIcons));
        }
    }

    w->action(QStringLiteral("Beenden1"))->trigger();
    EXPECT_TRUE(waitFor([&] { return !w->isVisible(); }));
}

// The Merkzettel on a core without a window: the view answers the questions and records
// what the window would show.
struct FakeListsView : ListsView {
    QWidget parent;
    QPushButton button;
    QStringList selected;
    bool inMerkzettel = false; // the selection is in the Merkzettel's own list
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QList<QMessageBox::Icon> asked;
    QStringList statusTexts;
    int rebuilt = 0;
    QString saveFile, recipient, folderAsked;

    QWidget* dialogParent() override { return &parent; }
    QStringList selectedTitles() const override { return selected; }
    void rebuildList() override { ++rebuilt; }
    void setStatusText(const QString& text) override { statusTexts << text; }
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString&,
                                    QMessageBox::StandardButtons, const QString&) override {
        asked << icon;
        return answer;
    }
    QString askSaveFile(const QString& folder) override {
        folderAsked = folder;
        return saveFile;
    }
    QString askRecipient() override { return recipient; }
    QAbstractButton* merkzettelButton() override { return &button; }
    QPoint merkzettelMenuPosition() const override { return {}; }
    QAction* menuItem(const QString&) const override { return nullptr; }
    QList<QAbstractItemView*> titleLists() const override { return {}; }
};

class ListsOnCore : public ::testing::Test {
protected:
    void SetUp() override {
        AppCore::Environment e;
        e.catalogDir = env.path(QStringLiteral("katalog"));
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        QDir().mkpath(e.tempDir);
        core = std::make_unique<AppCore>(e);
        // The window's part of the state: where the selection is.
        core->commands().addStateSource(&stateOwner, [this](UiState& s) {
            s.viewsExist = true;
            s.selected = int(view.selected.size());
            s.listItems = s.selected;
            s.node = view.inMerkzettel ? uistate::NodeKind::Merkzettel : uistate::NodeKind::Other;
        });
        lists = std::make_unique<ListsIntegration>(core->commands(), core->collectionPtr(), nullptr,
                                                   QStringLiteral("1.2.3"), e.catalogDir, e.tempDir,
                                                   view);
    }
    QStringList& merkzettel() { return core->collection().titleLists.list(TitleLists::Merkzettel); }

    IsolatedEnvironment env;
    QObject stateOwner;
    FakeListsView view;
    std::unique_ptr<AppCore> core;
    std::unique_ptr<ListsIntegration> lists;
};

TEST_F(ListsOnCore, CommandsChangeTheListWithinTheRules) {
    const QString a = QStringLiteral("Erste:\\Ordner\\Eins.mp3");
    const QString b = QStringLiteral("Erste:\\Ordner\\Zwei.mp3");
    const QString c = QStringLiteral("Zweite:\\Neu & Alt\\Drei.mp3");
    const QString explicitC = QString::fromLatin1(QUrl::toPercentEncoding(c));
    using Icon = QMessageBox::Icon;
    // One run, step by step: each step starts from the list the one before left.
    const struct {
        const char* command;
        QString argument;
        QStringList selected;
        bool inMerkzettel;
        QMessageBox::StandardButton answer;
        bool ran;
        QStringList after;
        QList<Icon> asked;
        int rebuilt;
    } steps[] = {
        {cmd::ClearBrainList, {}, {}, false, QMessageBox::Ok, false, {}, {}, 0},
        {cmd::Remember, {}, {a, b}, false, QMessageBox::Ok, true, {a, b}, {}, 0},
        {cmd::Remember, {}, {a}, true, QMessageBox::Ok, false, {a, b}, {}, 0},
        // An explicit selection wins over the list's.
        {cmd::Remember, explicitC, {a}, false, QMessageBox::Ok, true, {a, b, c}, {}, 0},
        {cmd::RemoveTitle, {}, {b}, false, QMessageBox::Ok, false, {a, b, c}, {}, 0},
        {cmd::RemoveTitle, {}, {b}, true, QMessageBox::Ok, true, {a, c}, {}, 1},
        {cmd::ClearBrainList, {}, {}, false, QMessageBox::No, true, {a, c}, {Icon::Question}, 0},
        {cmd::ClearBrainList,
         {},
         {},
         false,
         QMessageBox::Ok,
         true,
         {},
         {Icon::Question, Icon::Information},
         1},
        {cmd::SaveBrainList, {}, {}, false, QMessageBox::Ok, false, {}, {}, 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message()
                     << step.command << " " << step.selected.join(',').toStdString()
                     << (step.inMerkzettel ? " in the Merkzettel" : ""));
        view.selected = step.selected;
        view.inMerkzettel = step.inMerkzettel;
        view.answer = step.answer;
        view.asked.clear();
        view.rebuilt = 0;
        EXPECT_EQ(bool(core->commands().run(QLatin1String(step.command), step.argument)), step.ran);
        EXPECT_EQ(lists->list(), step.after);
        // As vectors: QList's own == hands memcmp a null pointer for empty lists.
        EXPECT_EQ(std::vector(view.asked.begin(), view.asked.end()),
                  std::vector(step.asked.begin(), step.asked.end()));
        EXPECT_EQ(view.rebuilt, step.rebuilt);
        // The state follows at once: saving and mailing need titles.
        EXPECT_EQ(core->commands().isEnabled(QLatin1String(cmd::SaveBrainList)),
                  !step.after.isEmpty());
    }
}

TEST_F(ListsOnCore, SavingAndMailingAnswerThroughTheView) {
    const QString a = QStringLiteral("Erste:\\Ordner\\Eins.mp3");
    lists->rememberTitles({a});

    // Saving: cancelled, written, refused by the file system.
    const QString saved = env.path(QStringLiteral("Gemerkte Titel.cd"));
    const struct {
        QString file;
        bool exists;
        int errors;
    } saves[] = {{QString(), false, 0}, {saved, true, 0}, {env.path(), false, 1}};
    for (const auto& s : saves) {
        SCOPED_TRACE(s.file.toStdString());
        view.asked.clear();
        view.saveFile = s.file;
        EXPECT_TRUE(core->commands().run(QLatin1String(cmd::SaveBrainList)));
        EXPECT_EQ(view.folderAsked, env.path(QStringLiteral("katalog")));
        EXPECT_EQ(QFileInfo(s.file).isFile(), s.exists);
        EXPECT_EQ(view.asked.count(QMessageBox::Critical), s.errors);
    }
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(a.toLatin1()));

    // Mailing without an account: through the desktop's mail program, if there is one.
    const struct {
        const char* recipient;
        const char* program;
        int errors, warnings;
        bool handedOver;
    } mails[] = {
        {"", "true", 0, 0, false},                    // cancelled
        {"kein-adresse", "true", 0, 1, false},        // not an address
        {"du@example.org", "true", 0, 0, true},       // handed to the program
        {"du@example.org", "/nicht/da", 1, 0, false}, // no program
    };
    for (const auto& m : mails) {
        SCOPED_TRACE(testing::Message() << m.recipient << " " << m.program);
        view.asked.clear();
        view.statusTexts.clear();
        view.recipient = QLatin1String(m.recipient);
        lists->setDesktopMailProgram(QLatin1String(m.program));
        EXPECT_TRUE(core->commands().run(QLatin1String(cmd::MailBrainList)));
        EXPECT_EQ(view.asked.count(QMessageBox::Critical), m.errors);
        EXPECT_EQ(view.asked.count(QMessageBox::Warning), m.warnings);
        EXPECT_EQ(view.statusTexts.size(), m.handedOver ? 1 : 0);
        EXPECT_EQ(lists->lastMailError().isEmpty(), m.errors == 0);
        EXPECT_FALSE(lists->mailUnderWay());
    }
}

} // namespace
