#include "media_dialogs.h"

#include "medium_wait.h"

#include <QEventLoop>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Datenträger einlegen..."));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Bitte das Medium mit der folgenden Bezeichnung "
                                                "einlegen:"),
                                 this));
    cdtitle = new QLabel(this);
    QFont bold = cdtitle->font();
    bold.setBold(true);
    cdtitle->setFont(bold);
    cdtitle->setTextFormat(Qt::PlainText);
    layout->addWidget(cdtitle);
    notice = new QLabel(this);
    notice->setTextFormat(Qt::PlainText);
    notice->setWordWrap(true);
    notice->hide();
    layout->addWidget(notice);
    auto* buttons = new QHBoxLayout;
    eject_btn = new QPushButton(QStringLiteral("Au&swerfen"), this);
    eject_btn->setAutoDefault(false);
    eject_btn->hide();
    buttons->addWidget(eject_btn);
    buttons->addStretch();
    connect(eject_btn, &QPushButton::clicked, this, &TForm2::ejectClicked);
    cancel_btn = new QPushButton(QStringLiteral("&Abbrechen"), this);
    cancel_btn->setDefault(true);
    buttons->addWidget(cancel_btn);
    layout->addLayout(buttons);
    connect(cancel_btn, &QPushButton::clicked, this, &QDialog::reject); // Escape rejects too
}

QString TForm2::waitFor(const QString& label, MediumWait& wait) {
    if (!wait.start(label)) return {};
    notice->clear();
    notice->hide();
    const auto noticed = connect(&wait, &MediumWait::notice, this, [this](const QString& text) {
        notice->setText(text);
        notice->setVisible(!text.isEmpty());
    });
    // The first pass over the roots runs off this thread; a medium it finds at once (a
    // share that answers) needs no dialog. The event loop keeps running meanwhile; user
    // input waits for its end, at most a moment.
    if (wait.inFirstRound()) {
        QEventLoop firstRound;
        const auto f = connect(&wait, &MediumWait::found, &firstRound, &QEventLoop::quit);
        const auto m =
            connect(&wait, &MediumWait::firstRoundMissed, &firstRound, &QEventLoop::quit);
        const auto c = connect(&wait, &MediumWait::cancelled, &firstRound, &QEventLoop::quit);
        QTimer::singleShot(kQuietMs, &firstRound, &QEventLoop::quit);
        firstRound.exec(QEventLoop::ExcludeUserInputEvents);
        disconnect(f);
        disconnect(m);
        disconnect(c);
        if (!wait.isActive()) {
            disconnect(noticed);
            return wait.foundRoot();
        }
    }
    if (playSound_) playSound_(QStringLiteral("VLWaitForMedia"));
    if (raiseCopyDialog_) raiseCopyDialog_();
    cdtitle->setText(label);
    refreshEject();
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    const auto found = connect(&wait, &MediumWait::found, this, &QDialog::accept);
    // Given up elsewhere (a stop while the dialog is open): it closes as if cancelled.
    const auto cancelled = connect(&wait, &MediumWait::cancelled, this, &QDialog::reject);
    const int result = exec();
    disconnect(found);
    disconnect(cancelled);
    disconnect(noticed);
    if (wait.isActive()) wait.cancel(); // closed by Cancel or Escape: stop polling
    return result == QDialog::Accepted ? wait.foundRoot() : QString();
}

void TForm2::setEjector(std::function<QList<EjectTarget>()> targets,
                        std::function<void(const QString&)> eject) {
    ejectTargets_ = std::move(targets);
    eject_ = std::move(eject);
    refreshEject();
}

void TForm2::refreshEject() {
    const bool on = ejectTargets_ && eject_;
    eject_btn->setVisible(on);
    eject_btn->setEnabled(on && !ejectTargets_().isEmpty());
}

void TForm2::ejectClicked() {
    if (!ejectTargets_ || !eject_) return;
    const QList<EjectTarget> targets = ejectTargets_();
    if (targets.size() == 1) {
        eject_(targets.first().id);
        return;
    }
    // Several drives hold media: the user picks the one to empty.
    QMenu menu(this);
    for (const EjectTarget& t : targets)
        menu.addAction(t.text)->setData(t.id);
    if (QAction* chosen = menu.exec(eject_btn->mapToGlobal(QPoint(0, eject_btn->height()))))
        eject_(chosen->data().toString());
}

TForm6::TForm6(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Kennwort eingeben"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    info = new QLabel(this);
    layout->addWidget(info);
    auto* grid = new QGridLayout;
    user_label = new QLabel(QStringLiteral("&Benutzername:"), this);
    user_edit = new QLineEdit(this);
    user_label->setBuddy(user_edit);
    auto* password_label = new QLabel(QStringLiteral("&Kennwort:"), this);
    password_edit = new QLineEdit(this);
    password_edit->setEchoMode(QLineEdit::Password);
    password_label->setBuddy(password_edit);
    grid->addWidget(user_label, 0, 0);
    grid->addWidget(user_edit, 0, 1);
    grid->addWidget(password_label, 1, 0);
    grid->addWidget(password_edit, 1, 1);
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ok_btn = new QPushButton(QStringLiteral("&OK"), this);
    ok_btn->setDefault(true);
    cancel_btn = new QPushButton(QStringLiteral("&Abbrechen"), this);
    buttons->addWidget(ok_btn);
    buttons->addWidget(cancel_btn);
    layout->addLayout(buttons);
    connect(ok_btn, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_btn, &QPushButton::clicked, this, &QDialog::reject);
    connect(user_edit, &QLineEdit::textChanged, this, &TForm6::updateOk);
    connect(password_edit, &QLineEdit::textChanged, this, &TForm6::updateOk);
    connect(user_edit, &QLineEdit::returnPressed, this, [this] {
        if (password_edit->text().isEmpty()) password_edit->setFocus();
    });
}

void TForm6::updateOk() {
    ok_btn->setEnabled(!password_edit->text().isEmpty() &&
                       (!withUserName_ || !user_edit->text().isEmpty()));
}

void TForm6::prepare(bool withUserName) {
    withUserName_ = withUserName;
    user_edit->clear();
    password_edit->clear();
    user_label->setVisible(withUserName);
    user_edit->setVisible(withUserName);
    if (withUserName) {
        info->setText(QStringLiteral("Der Zugriff auf diese Ressource erfordert eine Anmeldung.\r\n"
                                     "Bitte authentifizieren, um die Verbindung herzustellen."));
        user_edit->setFocus();
    } else {
        info->setText(QStringLiteral("Der Zugriff auf diese Ressource wurde verweigert.\r\n"
                                     "Bitte das Kennwort eingeben, um eine Verbindung "
                                     "herzustellen."));
        password_edit->setFocus();
    }
    if (playSound_) playSound_(QStringLiteral("VLPasswordRequest"));
    updateOk();
}

bool TForm6::ask(const QString& caption, bool withUserName, QString& user, QString& password) {
    setWindowTitle(caption);
    prepare(withUserName);
    if (exec() != QDialog::Accepted) return false;
    if (withUserName) user = user_edit->text();
    password = password_edit->text();
    return true;
}

bool DialogMediaPrompts::askPassword(const QString& caption, bool withUserName, QString& user,
                                     QString& password) {
    return password_->ask(caption, withUserName, user, password);
}

void DialogMediaPrompts::warn(const QString& text) {
    QMessageBox::warning(boxParent_, QStringLiteral("Vorlune"), text);
}

bool DialogMediaPrompts::confirm(const QString& text) {
    return QMessageBox::question(boxParent_, QStringLiteral("Vorlune"), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString DialogMediaPrompts::waitForMedium(const QString& label, MediumWait& wait) {
    return insertMedium_->waitFor(label, wait);
}
