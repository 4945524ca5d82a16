#include "copy_dialogs.h"

#include "file_copy.h"
#include "size_text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QLabel* boldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}
// The picture of a found medium type (media roots' numbering); -1 while it is looked for.
QStyle::StandardPixmap mediumPicture(int type) {
    switch (type) {
    case -1:
        return QStyle::SP_MessageBoxQuestion;
    case 2:
        return QStyle::SP_DriveFDIcon;
    case 3:
    case 4:
    case 6:
        return QStyle::SP_DriveHDIcon;
    case 7:
    case 8:
        return QStyle::SP_DriveNetIcon;
    default:
        return QStyle::SP_DriveCDIcon;
    }
}
} // namespace

ElidedLabel::ElidedLabel(QWidget* parent, Qt::TextElideMode mode) : QLabel(parent), mode_(mode) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == this->text()) return;
    setText(text);
    setToolTip(text);
}

QSize ElidedLabel::sizeHint() const {
    QSize size = QLabel::sizeHint();
    size.setWidth(std::min(size.width(), fontMetrics().averageCharWidth() * 40));
    return size;
}

QSize ElidedLabel::minimumSizeHint() const {
    QSize size = QLabel::minimumSizeHint();
    size.setWidth(std::min(size.width(), fontMetrics().averageCharWidth() * 8));
    return size;
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), mode_, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}

namespace {
// A dialog at its proper size, centred on a rectangle. Before its first showing a
// dialog has no size of its own yet.
void centreOn(QDialog* dialog, const QRect& area) {
    dialog->ensurePolished();
    if (dialog->layout()) dialog->layout()->activate();
    if (!dialog->testAttribute(Qt::WA_Resized)) dialog->adjustSize();
    dialog->resize(dialog->size().expandedTo(dialog->minimumSizeHint()));
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(area.center());
    dialog->move(frame.topLeft());
}
ElidedLabel* boldElided(QWidget* parent, Qt::TextElideMode mode) {
    auto* label = new ElidedLabel(parent, mode);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}
} // namespace

TForm8::TForm8(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Unzureichender Speicherplatz"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* head = boldLabel(QStringLiteral("Der vorhandene Speicherplatz reicht nicht aus,\num "
                                          "diesen Titel in das vorgegebene Zielverzeichnis zu "
                                          "kopieren."),
                           this);
    layout->addWidget(head);
    auto* form = new QFormLayout;
    nameValue = new ElidedLabel(this);
    neededValue = new QLabel(this);
    folderValue = new ElidedLabel(this);
    freeValue = new QLabel(this);
    form->addRow(boldLabel(QStringLiteral("Name des Titels:"), this), nameValue);
    form->addRow(boldLabel(QStringLiteral("Benötigter Platz:"), this), neededValue);
    form->addRow(boldLabel(QStringLiteral("Zielverzeichnis:"), this), folderValue);
    form->addRow(boldLabel(QStringLiteral("Verfügbarer Platz:"), this), freeValue);
    layout->addLayout(form);
    auto* explain = new QLabel(
        QStringLiteral("Die Aktion wird fortgesetzt, sobald das Problem behoben wurde. Auch "
                       "wenn die Bereitstellung weiteren Speicherplatzes unmöglich ist, könnten "
                       "kleinere Titel möglicherweise kopiert werden.\n\"Überspringen\" versucht "
                       "dies; \"Abbrechen\" bricht den gesamten Kopiervorgang ab."),
        this);
    explain->setWordWrap(true);
    layout->addWidget(explain);
    auto* buttons = new QHBoxLayout;
    skip_btn = new QPushButton(QStringLiteral("&Überspringen"), this);
    skip_btn->setObjectName(QStringLiteral("skip_btn"));
    skip_btn->setDefault(true);
    cancel_btn = new QPushButton(QStringLiteral("&Abbrechen"), this);
    cancel_btn->setObjectName(QStringLiteral("cancel_btn"));
    buttons->addStretch(1);
    buttons->addWidget(skip_btn);
    buttons->addWidget(cancel_btn);
    layout->addLayout(buttons);
    connect(skip_btn, &QPushButton::clicked, this, [this] { done(Skip); });
    connect(cancel_btn, &QPushButton::clicked, this, [this] { done(Cancel); });
    timer = new QTimer(this);
    timer->setInterval(250);
    connect(timer, &QTimer::timeout, this, &TForm8::timerTimer);
}

void TForm8::ask(const QString& localSource, const QString& folder, qint64 needed,
                 CopyRun::FreeSpaceFn freeSpace) {
    freeSpace_ = std::move(freeSpace);
    folder_ = folder;
    needed_ = needed;
    nameValue->setFullText(QFileInfo(localSource).completeBaseName());
    neededValue->setText(sizetext::row(needed));
    folderValue->setFullText(folder);
    const qint64 free = freeSpace_ ? freeSpace_(folder) : 0;
    freeValue->setText(sizetext::row(std::max<qint64>(free, 0)));
    QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
    if (over && over->isVisible()) {
        centreOn(this, over->frameGeometry());
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        centreOn(this, screen->availableGeometry());
    }
    timer->start();
    show();
    skip_btn->setFocus();
    if (playSound_) playSound_(QStringLiteral("VLInsufficientSpace"));
}

void TForm8::timerTimer() {
    const qint64 free = freeSpace_ ? freeSpace_(folder_) : 0;
    freeValue->setText(sizetext::row(std::max<qint64>(free, 0)));
    if (needed_ < free) done(Retry);
}

void TForm8::done(int result) {
    timer->stop();
    // Esc and closing the window count as Cancel.
    const int r = (result == Skip || result == Retry) ? result : Cancel;
    const bool wasVisible = isVisible();
    QDialog::done(r);
    if (wasVisible) emit answered(r);
}

TForm3::TForm3(MediaAccess* media, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      run_(new CopyRun(media, this)), form8_(new TForm8(parent ? parent : this)) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Titel in Zielordner kopieren..."));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    dirlabel = boldLabel(QString(), this);
    dirlabel->setObjectName(QStringLiteral("dirlabel"));
    dirlabel->setMinimumWidth(320);
    dirlabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
    SpeedButton1->setToolTip(
        QStringLiteral("Fenster minimieren und im Hintergrund weiterkopieren"));
    top->addWidget(dirlabel, 1);
    top->addWidget(SpeedButton1);
    layout->addLayout(top);
    fnlabel = boldElided(this, Qt::ElideMiddle);
    fnlabel->setObjectName(QStringLiteral("fnlabel"));
    layout->addWidget(fnlabel);

    auto* medium = new QHBoxLayout;
    typimg = new QLabel(this);
    typimg->setObjectName(QStringLiteral("typimg"));
    typimg->setFixedSize(32, 32);
    cdlabel = new ElidedLabel(this, Qt::ElideRight);
    cdlabel->setText(QStringLiteral("???"));
    cdlabel->setObjectName(QStringLiteral("cdlabel"));
    medium->addWidget(typimg);
    medium->addWidget(cdlabel, 1);
    layout->addLayout(medium);

    rest = new QLabel(this);
    rest->setObjectName(QStringLiteral("rest"));
    layout->addWidget(rest);
    titlelist = new QListWidget(this);
    titlelist->setObjectName(QStringLiteral("titlelist"));
    titlelist->setSelectionMode(QAbstractItemView::NoSelection);
    titlelist->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    titlelist->setWordWrap(false);
    titlelist->setUniformItemSizes(true);
    layout->addWidget(titlelist, 1);
    errlabel = new ElidedLabel(this, Qt::ElideMiddle);
    errlabel->setObjectName(QStringLiteral("errlabel"));
    errlabel->setStyleSheet(QStringLiteral("color: #b00000"));
    errlabel->hide();
    layout->addWidget(errlabel);
    layout->addWidget(new QLabel(QStringLiteral("Fortschritt des gesamten Vorgangs:"), this));
    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    layout->addWidget(Gauge1);
    auto* buttons = new QHBoxLayout;
    skip_btn = new QPushButton(QStringLiteral("&Überspringen"), this);
    skip_btn->setObjectName(QStringLiteral("skip_btn"));
    skip_btn->setAutoDefault(false);
    skip_btn->setToolTip(
        QStringLiteral("Diesen Titel auslassen und mit dem nächsten weitermachen"));
    skip_btn->hide();
    btn_cancel = new QPushButton(QStringLiteral("&Abbrechen"), this);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(skip_btn);
    buttons->addWidget(btn_cancel);
    layout->addLayout(buttons);
    resize(440, 380);

    timer = new QTimer(this);
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, this, &TForm3::timerTimer);
    connect(btn_cancel, &QPushButton::clicked, this, &TForm3::btn_cancelClick);
    connect(skip_btn, &QPushButton::clicked, this, &TForm3::skip_btnClick);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm3::SpeedButton1Click);
    connect(run_, &CopyRun::ended, this, [this](bool completed) {
        timer->stop();
        timerTimer();
        form8_->timer->stop();
        if (form8_->isVisible()) form8_->hide();
        QDialog::done(completed ? QDialog::Accepted : QDialog::Rejected);
    });
    connect(run_, &CopyRun::spaceNeeded, this,
            [this](const QString& source, const QString& folder, qint64 needed) {
                form8_->ask(source, folder, needed, run_->spaceQuery());
            });
    connect(form8_, &TForm8::answered, this, [this](int result) {
        run_->answerSpace(result == TForm8::Retry  ? CopyRun::Retry
                          : result == TForm8::Skip ? CopyRun::Skip
                                                   : CopyRun::Cancel);
    });
    connect(run_, &CopyRun::finishedSound, this, [this] {
        if (playSound_) playSound_(QStringLiteral("VLFinishedCopying"));
    });
}

TForm3::~TForm3() {
    run_->shutdown();
}

void TForm3::setEventSound(CopySoundFn play) {
    playSound_ = play;
    form8_->setEventSound(std::move(play));
}

bool TForm3::startRun(const QStringList& titles, const CopyRun::Setup& setup) {
    if (run_->isRunning()) return false;
    titlelist->clear();
    errlabel->hide();
    shownType_ = -2;
    if (!run_->start(titles, setup)) return false;
    QStringList lines;
    for (const QString& t : run_->queue())
        lines.append(CopyRun::titleListLine(t));
    titlelist->addItems(lines);
    Gauge1->setRange(0, std::max(run_->total(), 1));
    Gauge1->setValue(0);
    timerTimer();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        centreOn(this, screen->availableGeometry());
    show();
    timer->start();
    return true;
}

void TForm3::timerTimer() {
    const CopyRun& r = *run_;
    while (titlelist->count() > int(r.queue().size()))
        delete titlelist->takeItem(0);
    rest->setText(QStringLiteral("Noch %1 Titel zu kopieren:").arg(r.queue().size()));
    Gauge1->setValue(std::min(r.progress(), Gauge1->maximum()));
    const QString folder = r.destinationFolder();
    dirlabel->setToolTip(folder);
    dirlabel->setText(dirlabel->fontMetrics().elidedText(folder, Qt::ElideMiddle,
                                                         std::max(dirlabel->width(), 100)));
    fnlabel->setFullText(r.destinationName());
    cdlabel->setFullText(r.mediumLabel());
    if (shownType_ != r.mediumType()) {
        shownType_ = r.mediumType();
        QIcon icon = icons_ ? icons_(shownType_) : QIcon();
        if (icon.isNull()) icon = style()->standardIcon(mediumPicture(shownType_));
        typimg->setPixmap(icon.pixmap(32, 32));
    }
    errlabel->setFullText(r.failure());
    errlabel->setVisible(!r.failure().isEmpty());
    skip_btn->setVisible(r.canSkipFailed());
}

void TForm3::skip_btnClick() {
    run_->skipFailed();
    timerTimer();
}

void TForm3::btn_cancelClick() {
    run_->cancel();
}

void TForm3::reject() {
    run_->cancel();
    if (!run_->isActive()) QDialog::reject();
}

void TForm3::closeEvent(QCloseEvent* event) {
    if (run_->isActive()) run_->cancel();
    event->accept();
}

void TForm3::SpeedButton1Click() {
    showMinimized();
}
