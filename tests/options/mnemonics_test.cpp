// Keyboard reach: in every window and dialog of the program no two visible controls answer
// the same Alt+letter, whatever page a tab control shows.
#include "options_fixture.h"

#include "statistics_integration.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <map>

namespace {

// The letter Qt binds to Alt for a caption: the character after the first single "&".
QChar mnemonicOf(const QString& text) {
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toUpper();
    }
    return {};
}

// Every mnemonic that is live in `root` as it shows now, with the controls that carry it.
std::map<QChar, QStringList> liveMnemonics(QWidget* root) {
    std::map<QChar, QStringList> found;
    const auto add = [&](const QString& text, const QString& owner) {
        const QChar key = mnemonicOf(text);
        if (!key.isNull()) found[key].append(owner + QStringLiteral(" \"") + text + '"');
    };
    const auto live = [root](QWidget* w) {
        return w->isVisible() && w->window() == root && w->isVisibleTo(root);
    };
    for (QAbstractButton* b : root->findChildren<QAbstractButton*>())
        if (live(b)) add(b->text(), b->objectName());
    for (QLabel* l : root->findChildren<QLabel*>())
        if (live(l) && l->buddy()) add(l->text(), QStringLiteral("label"));
    for (QGroupBox* g : root->findChildren<QGroupBox*>())
        if (live(g)) add(g->title(), g->objectName());
    for (QTabBar* t : root->findChildren<QTabBar*>())
        if (live(t))
            for (int i = 0; i < t->count(); ++i)
                if (t->isTabVisible(i)) add(t->tabText(i), QStringLiteral("tab"));
    for (QMenuBar* m : root->findChildren<QMenuBar*>())
        if (live(m))
            for (QAction* a : m->actions())
                if (a->isVisible()) add(a->text(), QStringLiteral("menu"));
    return found;
}

// Checks the window with each page of each of its tab controls in front.
void expectUnique(QWidget* root, const QString& state) {
    const auto check = [&](const QString& where) {
        for (const auto& [key, owners] : liveMnemonics(root))
            EXPECT_EQ(owners.size(), 1)
                << qPrintable(root->objectName()) << ' ' << qPrintable(where) << " Alt+"
                << QString(key).toStdString() << ": "
                << owners.join(QStringLiteral(", ")).toStdString();
    };
    check(state);
    for (QTabWidget* tabs : root->findChildren<QTabWidget*>()) {
        if (!tabs->isVisibleTo(root)) continue;
        const int before = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabVisible(i)) continue;
            tabs->setCurrentIndex(i);
            check(state + QStringLiteral(", page ") + tabs->tabText(i));
        }
        tabs->setCurrentIndex(before);
    }
}

using Mnemonics = OptionsWindowFixture;

TEST_F(Mnemonics, NoTwoVisibleControlsShareOneInAnyWindowOrDialog) {
    auto w = shown();
    w->setObjectName(QStringLiteral("Form1"));
    // The main window with its captions of both streaming states and every copy mode.
    for (bool streaming : {false, true}) {
        w->settings().streaming.enabled = streaming;
        w->statistics()->updateStreamingControls();
        expectUnique(w.get(), streaming ? QStringLiteral("streaming on") : QStringLiteral("off"));
    }
    w->settings().streaming.enabled = false;
    w->statistics()->updateStreamingControls();

    // Each dialog the window made, shown as it is when opened.
    const QList<QDialog*> dialogs = w->findChildren<QDialog*>();
    ASSERT_GE(dialogs.size(), 8);
    for (QDialog* d : dialogs) {
        if (qobject_cast<QMessageBox*>(d)) continue;
        SCOPED_TRACE(d->metaObject()->className());
        d->setModal(false);
        d->show();
        ASSERT_TRUE(d->isVisible());
        expectUnique(d, QStringLiteral("shown"));
        d->hide();
    }
}

TEST_F(Mnemonics, RegistryCleaningIsNotTheDefaultAnswer) {
    auto w = shown();
    w->setMessageBoxHook({});
    TForm5* d = dialog(*w);
    d->show();
    d->PageControl1->setCurrentIndex(5);
    QString defaultText;
    bool answered = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
        answered = box->defaultButton() == box->button(QMessageBox::No);
        box->button(QMessageBox::No)->click();
    });
    poll.start();
    d->btn_cleanregistry->click();
    EXPECT_TRUE(answered) << defaultText.toStdString();
    EXPECT_FALSE(w->options()->registryReleased());
    EXPECT_TRUE(d->btn_cleanregistry->isEnabled());
}

TEST_F(Mnemonics, OptionsDialogOpensWithEveryTabInView) {
    auto w = shown();
    TForm5* d = dialog(*w);
    d->show();
    QTabBar* bar = d->PageControl1->tabBar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }, 2000));
    for (int i = 0; i < bar->count(); ++i)
        EXPECT_LE(bar->tabRect(i).right(), bar->width()) << bar->tabText(i).toStdString();
    EXPECT_GE(d->PageControl1->width(), bar->tabRect(bar->count() - 1).right());
}

} // namespace
