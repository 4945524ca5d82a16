// The statistics window against a real server and real listeners on loopback.
#include "listener_details.h"
#include "listener_model.h"
#include "statistics_texts.h"
#include "statistics_window.h"
#include "test_support.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

class StatisticsWindowTest : public ServerFixture {
protected:
    int rowWithIcon(int icon) const {
        for (int r = 0; r < form->listenerModel()->rowCount(); ++r)
            if (form->listenerModel()->iconOf(r) == icon) return r;
        return -1;
    }
    bool allStreaming() const {
        ListenerModel* m = form->listenerModel();
        for (int r = 0; r < m->rowCount(); ++r)
            if (!m->text(r, ListenerModel::SentColumn).endsWith(QStringLiteral("Byte")))
                return false;
        return m->rowCount() > 0;
    }
    // Runs `check` once the widget shows (polled, so nested dialogs can open meanwhile).
    static void whenVisible(QWidget* w, std::function<void()> check) {
        auto* poll = new QTimer;
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, [poll, w, check] {
            if (!w->isVisible()) return;
            poll->stop();
            poll->deleteLater();
            check();
        });
        poll->start();
    }
    bool red() const { return counter.property("refused").toBool(); }

    // Picks an entry of the listener list's popup menu for a row.
    void popupChoose(int row, const QString& entry) {
        QTreeView* view = form->listenerView();
        view->selectionModel()->clearSelection();
        view->selectionModel()->select(form->listenerModel()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        bool chosen = false;
        QTimer::singleShot(50, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            EXPECT_EQ(menu->defaultAction()->text(), QStringLiteral("&Details..."));
            for (QAction* a : menu->actions())
                if (a->text() == entry) {
                    chosen = true;
                    menu->setActiveAction(a);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            menu->close();
        });
        emit view->customContextMenuRequested(
            view->visualRect(view->model()->index(row, 0)).center());
        EXPECT_TRUE(chosen) << entry.toStdString();
    }

    QLabel counter;
    TaskService tasks;
    std::unique_ptr<TForm4> form;
};

TEST_F(StatisticsWindowTest, ListenersCounterRefusalDetailsDisconnectAndStop) {
    StreamConfig c = baseConfig();
    c.LimitListeners = true;
    c.MaxListeners = 3;
    ASSERT_TRUE(startWith(c));
    form = std::make_unique<TForm4>(nullptr, tasks);
    form->setCounterLabel(&counter);
    form->connectServer(server.get());

    TestListener plain(port, icyRequest(""));
    TestListener browser(port, icyRequest("User-Agent: Mozilla/5.0 (X11; Linux) Firefox/115\r\n"));
    TestListener player(port, icyRequest("User-Agent: WinampMPEG/5.66\r\nIcy-MetaData: 1\r\n"));
    ASSERT_TRUE(plain.waitHeader());
    ASSERT_TRUE(browser.waitHeader());
    ASSERT_TRUE(player.waitHeader());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->listenerModel()->rowCount() == 3; }, 5000));
    EXPECT_EQ(counter.text(), QStringLiteral("3"));

    form->Request(QStringLiteral("listeners"));
    form->prepare();
    form->show();
    EXPECT_EQ(form->pages()->currentIndex(), int(statpages::Listeners));
    EXPECT_TRUE(form->request().isEmpty());
    // The figures come with the 500 ms tick: icons, amounts, the bit rate.
    ASSERT_TRUE(QTest::qWaitFor([&] { return allStreaming(); }, 5000));
    EXPECT_GE(rowWithIcon(0), 0);
    EXPECT_GE(rowWithIcon(5), 0);
    EXPECT_GE(rowWithIcon(1), 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->bitRateLabel()->text() == QStringLiteral("320 kbps"); }, 3000));
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(form->listenerModel()->text(r, ListenerModel::AddressColumn),
                  QStringLiteral("127.0.0.1"));

    // A fourth is refused: red counter with its hint, normal again after five seconds.
    TestListener refused(port, icyRequest(""));
    ASSERT_TRUE(QTest::qWaitFor([&] { return red(); }, 5000));
    EXPECT_TRUE(counter.toolTip().contains(QStringLiteral("Warteliste")));
    EXPECT_EQ(form->listenerModel()->rowCount(), 3);
    QTest::qWait(3000);
    EXPECT_TRUE(red());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !red(); }, 4000));
    EXPECT_EQ(counter.toolTip(), QStringLiteral("Anzahl der Zuhörer"));

    // Details of the listener without a user agent; it leaves while they show.
    const int plainRow = rowWithIcon(0);
    bool checked = false;
    whenVisible(form->details(), [&] {
        TForm10* d = form->details();
        EXPECT_EQ(d->field(TForm10::Address)->text(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(d->field(TForm10::Software)->text(), QStringLiteral("(Nicht übermittelt)"));
        EXPECT_EQ(d->field(TForm10::Metadata)->text(), QStringLiteral("Nein"));
        EXPECT_TRUE(d->field(TForm10::Sent)->text().contains(QStringLiteral(" Byte)")));
        EXPECT_EQ(d->iconLabel()->property("iconIndex").toInt(), 0);
        EXPECT_TRUE(d->closeButton()->hasFocus() || d->closeButton()->isDefault());
        checked = true;
        plain.socket.abort();
    });
    popupChoose(plainRow, QStringLiteral("&Details..."));
    EXPECT_TRUE(checked);
    EXPECT_FALSE(form->details()->isVisible());
    EXPECT_EQ(form->listenerModel()->rowCount(), 2);
    EXPECT_EQ(counter.text(), QStringLiteral("2"));

    // "&Trennen" on the browser.
    const int browserRow = rowWithIcon(5);
    ASSERT_GE(browserRow, 0);
    popupChoose(browserRow, QStringLiteral("&Trennen"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.closed; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->listenerModel()->rowCount() == 1; }, 5000));
    EXPECT_EQ(rowWithIcon(1), 0);
    EXPECT_EQ(counter.text(), QStringLiteral("1"));
    EXPECT_FALSE(player.closed);

    // "&Verbindung trennen" in the details disconnects the listener.
    whenVisible(form->details(), [&] {
        TForm10* d = form->details();
        EXPECT_EQ(d->field(TForm10::Metadata)->text(), QStringLiteral("Ja"));
        d->disconnectButton()->click();
    });
    form->showDetails(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.closed; }, 5000));

    // Stopping clears the list.
    TestListener late(port, icyRequest(""));
    ASSERT_TRUE(late.waitHeader());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->listenerModel()->rowCount() == 1; }, 5000));
    server->Stop();
    EXPECT_EQ(form->listenerModel()->rowCount(), 0);
    EXPECT_EQ(counter.text(), QStringLiteral("0"));
    form->hide();
    form->Request(QStringLiteral("listeners"));
    form->prepare();
    EXPECT_FALSE(form->pages()->isTabVisible(statpages::Listeners));
    EXPECT_EQ(form->pages()->currentIndex(), int(statpages::Statistics));
}

} // namespace

namespace {

// Visible tabs follow each other without room between them.
bool tabsContiguous(QTabWidget* pages, QString* why) {
    QTabBar* bar = pages->tabBar();
    int right = -1;
    for (int i = 0; i < bar->count(); ++i) {
        if (!bar->isTabVisible(i)) continue;
        const QRect r = bar->tabRect(i);
        if (right >= 0 && r.left() != right + 1) {
            *why = QStringLiteral("tab %1 starts at %2, the one before ends at %3")
                       .arg(bar->tabText(i))
                       .arg(r.left())
                       .arg(right);
            return false;
        }
        right = r.right();
    }
    return true;
}

} // namespace

TEST_F(StatisticsWindowTest, ListenerPageFitsItsColumnsAndDetailsShowTheAgentsStart) {
    ASSERT_TRUE(startWith(baseConfig()));
    form = std::make_unique<TForm4>(nullptr, tasks);
    form->setCounterLabel(&counter);
    form->connectServer(server.get());
    const QByteArray agent = "NSPlayer/12.0.19041 WMFSDK/12.0 " + QByteArray(300, 'x') + " Ende";
    TestListener listener(port, icyRequest("User-Agent: " + agent + "\r\n"));
    ASSERT_TRUE(listener.waitHeader());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->listenerModel()->rowCount() == 1; }, 5000));

    form->Request(QStringLiteral("listeners"));
    form->prepare();
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return allStreaming(); }, 5000));
    QString why;
    EXPECT_TRUE(tabsContiguous(form->pages(), &why)) << why.toStdString();

    // Every column inside the list at the window's default size, each wide enough for its
    // heading and for the widest texts it shows.
    QTreeView* view = form->listenerView();
    QHeaderView* header = view->header();
    const QFontMetrics fm(view->font());
    const int lastRight = header->sectionViewportPosition(ListenerModel::SentColumn) +
                          header->sectionSize(ListenerModel::SentColumn);
    EXPECT_LE(lastRight, view->viewport()->width());
    const std::pair<int, QStringList> widest[] = {
        {ListenerModel::AddressColumn, {"IP-Adresse", "255.255.255.255"}},
        {ListenerModel::TimeColumn, {"Verbindungszeit", stattexts::connectionTime(50 * 3600000LL)}},
        {ListenerModel::SentColumn,
         {"Gesendet", stattexts::sentText(13926), stattexts::sentText(999 * 1024 * 1024)}},
    };
    for (const auto& [column, texts] : widest)
        for (const QString& text : texts)
            EXPECT_GE(header->sectionSize(column), fm.horizontalAdvance(text) + 8)
                << column << ' ' << text.toStdString();
    EXPECT_GE(header->sectionSize(ListenerModel::HostColumn), 80);

    // The details show the start of a long user agent.
    bool checked = false;
    whenVisible(form->details(), [&] {
        QLineEdit* software = form->details()->field(TForm10::Software);
        EXPECT_EQ(software->text(), QString::fromLatin1(agent));
        // The text is not scrolled: its first character sits at the field's left edge.
        EXPECT_EQ(software->cursorPosition(), 0);
        EXPECT_LT(software->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(),
                  software->contentsRect().left() + 8);
        QTest::qWait(700); // the 500 ms refresh keeps it there
        EXPECT_LT(software->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(),
                  software->contentsRect().left() + 8);
        checked = true;
        form->details()->reject();
    });
    form->showDetails(0);
    EXPECT_TRUE(checked);

    // Streaming off after the listener page showed: the tab row closes up.
    form->hide();
    server->Stop();
    form->Request(QStringLiteral("listeners"));
    form->prepare();
    form->show();
    EXPECT_FALSE(form->pages()->isTabVisible(statpages::Listeners));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->pages()->tabBar()->isVisible(); }, 2000));
    EXPECT_TRUE(tabsContiguous(form->pages(), &why)) << why.toStdString();
    QTabBar* bar = form->pages()->tabBar();

    int widthOfTabs = 0;
    for (int i = 0; i < bar->count(); ++i)
        if (bar->isTabVisible(i)) widthOfTabs += bar->tabRect(i).width();
    EXPECT_LE(bar->sizeHint().width(), widthOfTabs + 4);
    EXPECT_LE(bar->width(), widthOfTabs + 4);
}

TEST_F(StatisticsWindowTest, APortInUseIsNamedAndLogged) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any));
    StreamConfig c = baseConfig();
    c.Port = other.serverPort();
    server->Configure(c);
    EXPECT_FALSE(server->Start());
    EXPECT_FALSE(server->isActive());
    const QString why = server->startError();
    EXPECT_TRUE(why.contains(QString::number(c.Port))) << why.toStdString();
    EXPECT_TRUE(why.contains(QStringLiteral("anderen Programm"))) << why.toStdString();
    EXPECT_EQ(countLog(QStringLiteral("ERROR: ") + why), 1);
    other.close();
    ASSERT_TRUE(server->Start());
    EXPECT_TRUE(server->startError().isEmpty());
}
