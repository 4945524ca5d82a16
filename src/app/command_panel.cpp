#include "command_panel.h"

#include "command_catalogue.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* toolButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                        const QString& hint, bool checkable = false) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(hint);
    b->setCheckable(checkable);
    b->setEnabled(false);
    b->setAutoRaise(true);
    return b;
}

QPushButton* pushButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setEnabled(false);
    return b;
}

QString utf8(const char* text) {
    return text ? QString::fromUtf8(text) : QString();
}

// A command's buttons: caption, tool tip and check mark as its descriptor places them.
QToolButton* commandButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon) {
    const commandcatalogue::Descriptor* d = nullptr;
    const commandcatalogue::Placement* p = commandcatalogue::placement(QLatin1String(name), &d);
    Q_ASSERT(p);
    return toolButton(parent, name, icon, p ? utf8(p->hint) : QString(), d && d->checkable);
}

QPushButton* commandPushButton(QWidget* parent, const char* name) {
    const commandcatalogue::Placement* p = commandcatalogue::placement(QLatin1String(name));
    Q_ASSERT(p);
    return pushButton(parent, name, p ? utf8(p->caption) : QString(),
                      p ? utf8(p->hint) : QString());
}

} // namespace

CommandPanel::CommandPanel(QWidget* parent) : QScrollArea(parent), content_(new QWidget(this)) {
    setObjectName(QStringLiteral("CommandPanel"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(4, 4, 4, 4);
    // The grip at the top; a double click hides the panel.
    handle_ = new QLabel(content_);
    handle_->setObjectName(QStringLiteral("handle"));
    handle_->setToolTip(QStringLiteral("Doppelklicken, um Symbolleiste zu verstecken"));
    handle_->setFixedHeight(8);
    handle_->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    handle_->installEventFilter(this);
    column->addWidget(handle_);

    QGroupBox* g =
        addGroup(QStringLiteral("Wiedergabe"), QStringLiteral("Steuert die Wiedergabe."));
    auto* grid = new QGridLayout(g);
    play = commandButton(g, "play", QStyle::SP_MediaPlay);
    pause = commandButton(g, "pause", QStyle::SP_MediaPause);
    stop = commandButton(g, "stop", QStyle::SP_MediaStop);
    prev = commandButton(g, "prev", QStyle::SP_MediaSkipBackward);
    next = commandButton(g, "next", QStyle::SP_MediaSkipForward);
    rept = commandButton(g, "rept", QStyle::SP_BrowserReload);
    shuf = commandButton(g, "shuf", QStyle::SP_DialogResetButton);
    seeker = new QSlider(Qt::Horizontal, g);
    seeker->setObjectName(QStringLiteral("seeker"));
    seeker->setEnabled(false);
    seekpos = new QLabel(QStringLiteral("0:00:00/0:00:00"), g);
    seekpos->setObjectName(QStringLiteral("seekpos"));
    seekpos->setAlignment(Qt::AlignCenter);
    grid->addWidget(prev, 0, 0);
    grid->addWidget(play, 0, 1);
    grid->addWidget(pause, 0, 2);
    grid->addWidget(stop, 0, 3);
    grid->addWidget(next, 0, 4);
    grid->addWidget(rept, 1, 0);
    grid->addWidget(shuf, 1, 1);
    grid->addWidget(seekpos, 1, 2, 1, 3);
    grid->addWidget(seeker, 2, 0, 1, 5);

    g = addGroup(QStringLiteral("Aktionen"), QStringLiteral("Kopiert die ausgewählten Titel."));
    g->setObjectName(QStringLiteral("GroupBox2"));
    auto* box = new QVBoxLayout(g);
    copy_btn = commandPushButton(g, "copy_btn");
    burn_btn = commandPushButton(g, "burn_btn");
    box->addWidget(copy_btn);
    box->addWidget(burn_btn);

    g = addGroup(QStringLiteral("Sammlung"), QStringLiteral("Verwaltet die Sammlung."));
    box = new QVBoxLayout(g);
    reload_btn = commandPushButton(g, "reload_btn");
    reload_btn->setEnabled(true);
    stat_btn = commandPushButton(g, "stat_btn");
    box->addWidget(reload_btn);
    box->addWidget(stat_btn);

    g = addGroup(QStringLiteral("Lautstärke"), QStringLiteral("Stellt die Lautstärke ein."));
    box = new QVBoxLayout(g);
    vol_btn = commandPushButton(g, "vol_btn");
    box->addWidget(vol_btn);

    g = addGroup(QStringLiteral("Merkzettel"), QStringLiteral("Verwaltet den Merkzettel."));
    box = new QVBoxLayout(g);
    mz_btn = pushButton(g, "mz_btn", QStringLiteral("&Verwalten..."), QString());
    box->addWidget(mz_btn);

    g = addGroup(QStringLiteral("Optionen"), QString());
    box = new QVBoxLayout(g);
    opt_btn = commandPushButton(g, "opt_btn");
    box->addWidget(opt_btn);

    g = addGroup(QStringLiteral("Streaming"), QString());
    box = new QVBoxLayout(g);
    strm_status = new QLabel(QStringLiteral("offline"), g);
    strm_status->setObjectName(QStringLiteral("strm_status"));
    strm_status->setTextFormat(Qt::PlainText);
    strm_status->setWordWrap(true);
    strm_btn = pushButton(g, "strm_panel_btn", QStringLiteral("S&treaming..."), QString());
    box->addWidget(strm_status);
    box->addWidget(strm_btn);

    column->addStretch(1);
    setWidget(content_);
}

QGroupBox* CommandPanel::addGroup(const QString& name, const QString& hint) {
    auto* g = new QGroupBox(QLatin1Char(' ') + name + QLatin1Char(' '), content_);
    g->setToolTip(hint);
    static_cast<QVBoxLayout*>(content_->layout())->addWidget(g);
    groups_.insert(name, g);
    order_.append(name);
    return g;
}

bool CommandPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == handle_ && event->type() == QEvent::MouseButtonDblClick) {
        emit hideRequested();
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

void CommandPanel::moveGroupToBottom(const QString& name) {
    QGroupBox* g = groups_.value(name);
    if (!g) return;
    auto* column = static_cast<QVBoxLayout*>(content_->layout());
    column->removeWidget(g);
    // Above the closing stretch.
    column->insertWidget(column->count() - 1, g);
    order_.removeOne(name);
    order_.append(name);
}

void CommandPanel::setHiddenGroups(const QStringList& hidden) {
    for (const QString& name : order_)
        groups_.value(name)->setVisible(!hidden.contains(name));
}

QStringList CommandPanel::hiddenGroups() const {
    QStringList hidden;
    for (const QString& name : order_)
        if (groups_.value(name)->isHidden()) hidden.append(name);
    return hidden;
}
