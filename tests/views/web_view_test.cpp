// The web view with the real engine under a display: pages, the "res" scheme, "data.js",
// the "vorlune:" links through real navigations and web media on loopback servers.
#include "collection.h"
#include "data_js.h"
#include "web_view.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

// Stands in for the desktop's handler of the import scheme.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& u) { urls << u; }
};

namespace {

class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<WebView>(temp.path(), temp.path());
        view->resize(900, 600);
        view->show();
        connect();
    }
    void connect() {
        QObject::connect(view.get(), &WebView::commandRequested,
                         [this](const browsercmd::Invocation& i) {
                             commands << i.command + QLatin1Char('|') + i.argument;
                         });
    }
    // Loads through `start` and waits until the page is done.
    bool loaded(const std::function<void()>& start) {
        QSignalSpy spy(view.get(), &QWebEngineView::loadFinished);
        start();
        return spy.wait(30000) && spy.last().at(0).toBool();
    }
    QVariant js(const QString& script) {
        // Shared: an answer after the time-out must not write into a finished frame.
        auto answer = std::make_shared<std::optional<QVariant>>();
        view->page()->runJavaScript(script, [answer](const QVariant& v) { *answer = v; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer->has_value(); }, 20000))
            << script.toStdString();
        return answer->value_or(QVariant());
    }
    QString text() { return js(QStringLiteral("document.body.innerText")).toString(); }
    // Follows a link the way a click does, from the page itself.
    void go(const QString& url) { js(QStringLiteral("location.href = '%1'; 1").arg(url)); }
    bool commandsReach(int n) {
        return QTest::qWaitFor([&] { return commands.size() >= n; }, 10000);
    }

    QTemporaryDir temp;
    std::unique_ptr<WebView> view;
    QStringList commands;
};

struct Peer {
    QProcess process;
    quint16 port = 0;
    QString log;
    bool start(const QString& page, const QString& html, const QString& user,
               const QString& password, const QString& logFile) {
        QFile f(page);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write(html.toUtf8());
        f.close();
        log = logFile;
        process.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(VIEWS_TEST_DIR "/page_server.py"), page, logFile, user, password});
        if (!process.waitForStarted(5000)) return false;
        if (!QTest::qWaitFor([this] { return process.canReadLine(); }, 10000)) return false;
        port = quint16(process.readLine().trimmed().toUInt());
        return port != 0;
    }
    QStringList lines() const {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    ~Peer() {
        process.kill();
        process.waitForFinished(3000);
    }
};

} // namespace

TEST_F(WebViewTest, PagesShowTheirTextsPicturesAndStyle) {
    const struct {
        const char* page;
        const char* title;
        const char* text;
    } pages[] = {
        {webpages::AlphaList, "Alphabetische Liste", "Die alphabetische Liste enthält alle Titel"},
        {webpages::BrainList, "Merkzettel", "um den Inhalt des Merkzettels anzuzeigen."},
        {webpages::DetailWait, "Medien-Details", "Das angeforderte Dokument wird heruntergeladen."},
    };
    for (const auto& p : pages) {
        ASSERT_TRUE(loaded([&] { view->openResourcePage(QLatin1String(p.page)); })) << p.page;
        EXPECT_EQ(js(QStringLiteral("document.title")).toString(), QString::fromUtf8(p.title));
        EXPECT_TRUE(text().contains(QString::fromUtf8(p.text))) << p.page;
        EXPECT_TRUE(js(QStringLiteral("Array.from(document.images).every(i => i.complete && "
                                      "i.naturalWidth > 0) && document.images.length > 0"))
                        .toBool())
            << p.page;
        EXPECT_EQ(js(QStringLiteral("getComputedStyle(document.body).color")).toString(),
                  QStringLiteral("rgb(36, 115, 136)"));
    }
    // An unwritable temp folder gives a short error page, not a blank view.
    WebView broken(temp.filePath(QStringLiteral("missing/deeper")), QString());
    view.reset();
    QSignalSpy spy(&broken, &QWebEngineView::loadFinished);
    broken.openResourcePage(QLatin1String(webpages::PlayList));
    ASSERT_TRUE(spy.wait(30000));
    auto body = std::make_shared<QVariant>();
    broken.page()->runJavaScript(QStringLiteral("document.body.innerText"),
                                 [body](const QVariant& v) { *body = v; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return body->isValid(); }, 20000));
    EXPECT_TRUE(body->toString().contains(QStringLiteral("kann nicht beschrieben werden")));
}

TEST_F(WebViewTest, DetailsPageShowsHostileIndexTextAsText) {
    MyMediaInfo info;
    info.MediaType = 13;
    info.Resource = QStringLiteral("\\\\server\\musik");
    info.Comment =
        QStringLiteral("\";location=\"vorlune:clearbrainlist <img src=x onerror=\"location="
                       "'vorlune:options'\">");
    info.FolderCount = 3;
    ASSERT_TRUE(loaded([&] {
        view->showMediumDetails(QStringLiteral("Böse \"CD\""), info, std::nullopt, QString());
    }));
    const QString t = text();
    EXPECT_TRUE(t.contains(QStringLiteral("Eigenschaften des Datenträgers \"Böse \"CD\"\":")));
    EXPECT_TRUE(t.contains(QStringLiteral("Netzwerk-Ressource")));
    EXPECT_TRUE(t.contains(QStringLiteral("\\\\server\\musik")));
    EXPECT_TRUE(t.contains(QStringLiteral("(Unbekannt)")));
    EXPECT_TRUE(t.contains(QStringLiteral("onerror=\"location='vorlune:options'\"")));
    EXPECT_TRUE(js(QStringLiteral("document.images[document.images.length - 5].src"))
                    .toString()
                    .endsWith(QStringLiteral("/mtlan_png")));
    QTest::qWait(1500);
    EXPECT_TRUE(commands.isEmpty()) << commands.join(u',').toStdString();
}

TEST_F(WebViewTest, PlaylistPageFollowsDataJs) {
    const QString dataJs = temp.filePath(QStringLiteral("data.js"));
    datajs::NowPlaying now;
    now.displayName = QStringLiteral("Künstler - Lied <i>");
    now.position = 65;
    now.duration = 3700;
    now.bitRate = QStringLiteral("128 kbps");
    now.previous = {QStringLiteral("Vorher")};
    now.next = {QStringLiteral("Eins"), QStringLiteral("Zwei")};
    ASSERT_TRUE(datajs::write(dataJs, datajs::build(datajs::Writer::Tick, now)));
    ASSERT_TRUE(loaded([&] { view->openResourcePage(QLatin1String(webpages::PlayList)); }));
    EXPECT_EQ(js(QStringLiteral("document.getElementById('title').innerText")).toString(),
              QStringLiteral("Lied <i>"));
    EXPECT_EQ(js(QStringLiteral("document.getElementById('duration').innerText")).toString(),
              QStringLiteral("1:01:40"));
    EXPECT_TRUE(text().contains(QStringLiteral("[Pause]")));
    EXPECT_EQ(js(QStringLiteral("document.querySelector('#next a:last-of-type').href")).toString(),
              QStringLiteral("vorlune:next?2"));

    const struct {
        datajs::Writer writer;
        bool paused;
        const char* shows;
    } steps[] = {
        {datajs::Writer::PauseSeek, true, "[Fortsetzen]"},
        {datajs::Writer::PauseSeek, false, "[Pause]"},
        {datajs::Writer::Stopped, false, "Zur Zeit wird kein Titel wiedergegeben."},
    };
    for (const auto& s : steps) {
        now.paused = s.paused;
        ASSERT_TRUE(datajs::write(dataJs, datajs::build(s.writer, now)));
        ASSERT_TRUE(loaded([&] { view->reloadPage(); }));
        EXPECT_TRUE(text().contains(QString::fromUtf8(s.shows))) << s.shows;
    }
}

TEST_F(WebViewTest, CommandLinksThroughRealNavigations) {
    ASSERT_TRUE(loaded([&] { view->openResourcePage(QLatin1String(webpages::AlphaList)); }));
    // A click on the page's own link.
    js(QStringLiteral("document.querySelector('a[href=\"vorlune:savebrainlist\"]').click(); 1"));
    ASSERT_TRUE(commandsReach(1));
    const struct {
        const char* url;
        const char* expect; // what has arrived after this step, joined by ","
    } steps[] = {
        // The click left the toggle set: a different URL clears it and runs.
        {"vorlune:copy?1", "SAVEBRAINLIST|,COPY|"},
        {"vorlune:copy?1", "SAVEBRAINLIST|,COPY|,COPY|"},
        {"vorlune:copy?1", nullptr}, // debounced
        {"vorlune:copy?1", "SAVEBRAINLIST|,COPY|,COPY|,COPY|"},
        {"vorlune:options", "SAVEBRAINLIST|,COPY|,COPY|,COPY|,OPTIONS|4"},
        {"vorlune:options", "SAVEBRAINLIST|,COPY|,COPY|,COPY|,OPTIONS|4,OPTIONS|4"},
        {"vorlune:play?play", nullptr},
        {"vorlune:next?3", "SAVEBRAINLIST|,COPY|,COPY|,COPY|,OPTIONS|4,OPTIONS|4,NEXT|3"},
        {"VORLUNE:next?abc", "SAVEBRAINLIST|,COPY|,COPY|,COPY|,OPTIONS|4,OPTIONS|4,NEXT|3,NEXT|1"},
    };
    for (const auto& s : steps) {
        go(QString::fromLatin1(s.url));
        if (!s.expect) continue;
        const QStringList want = QString::fromLatin1(s.expect).split(u',');
        commandsReach(int(want.size()));
        EXPECT_EQ(commands, want) << s.url;
    }
    // The import scheme goes on to the desktop's handler.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("vorlune"), &catcher, "open");
    go(QStringLiteral("vorlune://x"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !catcher.urls.isEmpty(); }, 10000));
    QDesktopServices::unsetUrlHandler(QStringLiteral("vorlune"));
    EXPECT_EQ(view->url().scheme(), QStringLiteral("file"));
}

TEST_F(WebViewTest, WebMediumGetsItsHeaderAndForeignPagesRunNothing) {
    Peer other;
    ASSERT_TRUE(other.start(temp.filePath(QStringLiteral("b.html")),
                            QStringLiteral("<html><head><title>B</title></head><body>"
                                           "<a id=\"cmd\" href=\"vorlune:options\">x</a>"
                                           "</body></html>"),
                            QString(), QString(), temp.filePath(QStringLiteral("b.log"))));
    const QString otherUrl = QStringLiteral("http://127.0.0.1:%1/").arg(other.port);
    Peer medium;
    ASSERT_TRUE(medium.start(
        temp.filePath(QStringLiteral("a.html")),
        QStringLiteral("<html><head><title>A</title></head><body><img src=\"%1pic.png\">"
                       "<a id=\"cmd\" href=\"vorlune:statistics\">x</a></body></html>")
            .arg(otherUrl),
        QStringLiteral("u"), QStringLiteral("p"), temp.filePath(QStringLiteral("a.log"))));
    const QString site = QStringLiteral("http://127.0.0.1:%1/").arg(medium.port);

    MyMediaInfo info;
    info.Details = QStringLiteral("MediaFolders=1&Label=Web&");
    view->showMediumDetails(
        QStringLiteral("Web"), info,
        WebMedium{QStringLiteral("Web"), site, QStringLiteral("u"), QStringLiteral("p")},
        QStringLiteral("/m/A & B.mp3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->title() == QLatin1String("A"); }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !other.lines().isEmpty(); }, 10000));
    const QStringList a = medium.lines();
    ASSERT_FALSE(a.isEmpty());
    EXPECT_TRUE(a.contains(QStringLiteral("/?Playing=A%20%26%20B&FullName=%2Fm%2FA%20%26%20B.mp3&"
                                          "MediaFolders=1&Label=Web&\tBasic dTpw")))
        << a.join(u'|').toStdString();
    for (const QString& line : other.lines())
        EXPECT_TRUE(line.endsWith(QLatin1Char('\t'))) << line.toStdString(); // no header

    // The medium's own page may run commands; a page elsewhere may not.
    js(QStringLiteral("document.getElementById('cmd').click(); 1"));
    ASSERT_TRUE(commandsReach(1));
    EXPECT_EQ(commands, QStringList{QStringLiteral("STATISTICS|")});
    ASSERT_TRUE(loaded([&] { go(otherUrl); }));
    EXPECT_EQ(view->title(), QStringLiteral("B"));
    js(QStringLiteral("document.getElementById('cmd').click(); 1"));
    QTest::qWait(1500);
    EXPECT_EQ(commands.size(), 1);
    EXPECT_EQ(view->url().toString(), otherUrl);
}

// A medium's page with a frame from another site: neither the frame's own navigations
// nor its navigations of the whole page (even on a real click) run anything, while the
// medium's own page still does.
TEST_F(WebViewTest, FramesOfOtherSitesRunNothing) {
    Peer other;
    ASSERT_TRUE(other.start(
        temp.filePath(QStringLiteral("frame.html")),
        QStringLiteral("<html><head><title>F</title></head><body style=\"margin:0\">"
                       "<a id=\"top\" href=\"vorlune:remember?Fremd:%5Cklick.mp3\" target=\"_top\" "
                       "onclick=\"parent.postMessage('geklickt', '*')\" "
                       "style=\"display:block;width:400px;height:200px\">klick</a><script>"
                       "location.href = 'vorlune:remember?Fremd:%5Cselbst.mp3';"
                       "try { top.location.href = 'vorlune:clearbrainlist'; } catch (e) {}"
                       "</script></body></html>"),
        QString(), QString(), temp.filePath(QStringLiteral("frame.log"))));
    Peer medium;
    ASSERT_TRUE(medium.start(
        temp.filePath(QStringLiteral("a.html")),
        QStringLiteral("<html><head><title>A</title><script>"
                       "addEventListener('message', e => { document.title = e.data; });"
                       "</script></head><body style=\"margin:0\">"
                       "<a id=\"cmd\" href=\"vorlune:statistics\">x</a><iframe "
                       "src=\"http://127.0.0.1:%1/frame.html\" style=\"position:absolute;"
                       "left:0;top:40px;width:400px;height:200px;border:0\"></iframe>"
                       "</body></html>")
            .arg(other.port),
        QString(), QString(), temp.filePath(QStringLiteral("a.log"))));
    const QString site = QStringLiteral("http://127.0.0.1:%1/").arg(medium.port);
    view->showMediumDetails(QStringLiteral("Web"), MyMediaInfo(),
                            WebMedium{QStringLiteral("Web"), site, QString(), QString()},
                            QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->title() == QLatin1String("A"); }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !other.lines().isEmpty(); }, 10000));
    QTest::qWait(1500);
    EXPECT_TRUE(commands.isEmpty()) << commands.join(u',').toStdString();
    const QUrl shown = view->url();

    // A real click into the frame.
    const QRect frame(0, 40, 400, 200);
    QWidget* surface = view->focusProxy();
    ASSERT_NE(surface, nullptr);
    QTest::mouseMove(surface, frame.center());
    QTest::mouseClick(surface, Qt::LeftButton, {}, frame.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->title() == QLatin1String("geklickt"); }, 10000));
    QTest::qWait(1500);
    EXPECT_TRUE(commands.isEmpty()) << commands.join(u',').toStdString();
    EXPECT_EQ(view->url(), shown);

    js(QStringLiteral("document.getElementById('cmd').click(); 1"));
    ASSERT_TRUE(commandsReach(1));
    EXPECT_EQ(commands, QStringList{QStringLiteral("STATISTICS|")});
}

// The Merkzettel page hands the selected titles over encoded as UTF-8.
TEST_F(WebViewTest, MerkzettelPageHandsOverTitlesAsUtf8) {
    ASSERT_TRUE(loaded([&] { view->openResourcePage(QLatin1String(webpages::BrainList)); }));
    const QStringList titles{QStringLiteral("Musik:\\Alben\\Künstler - Ωmega & Co.mp3"),
                             QStringLiteral("CD 1:\\100% #1 <live>.mp3"),
                             QStringLiteral("Netz:\\日本\\😀 + a=b.mp3")};
    QString options;
    for (const QString& t : titles) {
        QString quoted = t;
        quoted.replace(u'\\', QLatin1String("\\\\"));
        options += QStringLiteral("{selected: true, value: '%1'}, {selected: false, value: 'x'}, ")
                       .arg(quoted);
    }
    js(QStringLiteral("prepare({options: [%1]}); 1").arg(options));
    ASSERT_TRUE(commandsReach(1));
    ASSERT_TRUE(commands.first().startsWith(QStringLiteral("PLAY|")));
    EXPECT_EQ(browsercmd::titleLines(commands.first().mid(5)), titles);
}

#include "web_view_test.moc"
