#include "search_tips_window.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kBodyTop = 32;

QString html(const QString& text) {
    // Keep double blanks as the text has them.
    return text.toHtmlEscaped()
        .replace(QStringLiteral("  "), QStringLiteral(" &nbsp;"))
        .replace(u'\n', QStringLiteral("<br>"));
}

QLabel* label(const QString& richText, QWidget* parent, int pixelSize, bool bold = false) {
    auto* l = new QLabel(richText, parent);
    l->setTextFormat(Qt::RichText);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont f = l->font();
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    l->setFont(f);
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    return l;
}
} // namespace

TForm7a::TForm7a(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TForm7a"));
    setWindowTitle(QStringLiteral("Tips für die Suche"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWidth, kHeight);
    setMouseTracking(true);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, kBodyTop + 12, 14, 12);
    outer->setSpacing(8);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("tipsIcon"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(24, 24));
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    titleRow->addWidget(icon, 0, Qt::AlignVCenter);
    titleRow->addWidget(
        label(html(QStringLiteral("Tips für ein effizienteres Suchen")), this, 15, true), 1);
    outer->addLayout(titleRow);
    outer->addWidget(label(html(QStringLiteral("Um die Genauigkeit der Suche zu verbessern, können "
                                               "folgende Möglichkeiten genutzt werden:")),
                           this, 11));
    const std::pair<QString, QString> bullets[] = {
        {QStringLiteral("Begriff"),
         QStringLiteral(
             "Alle Titel, deren Namen mindestens einen von mehreren Begriffen dieser Art "
             "enthalten, gelten als Ergebnis.\nDies entspricht einer OR-Verknüpfung.")},
        {QStringLiteral("+Begriff"),
         QStringLiteral("Nur solche Titel, deren Namen alle Begriffe dieser Art enthalten, gelten "
                        "als Ergebnis. Dies entspricht einer AND-Verknüpfung.")},
        {QStringLiteral("-Begriff"),
         QStringLiteral("Titel, deren Namen einen Begriff dieser Art enthalten, werden von den "
                        "Ergebnissen  der Suche ausgeschlossen.\nDies entspricht einer "
                        "NOT-Verknüpfung.")},
        {QStringLiteral("\"Alles begriffen?\""),
         QStringLiteral("Um Begriffe zu verwenden, die aus mehr als einem Wort bestehen, müssen "
                        "diese in Anführungszeichen gesetzt werden. Eventuell verwendete Schalter "
                        "wie \"+\" und \"-\" müssen vor dem ersten Anführungs- zeichen notiert "
                        "werden.")},
    };
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(8);
    int row = 0;
    for (const auto& [term, text] : bullets) {
        grid->addWidget(label(QStringLiteral("\u2022"), this, 11, true), row, 0, Qt::AlignTop);
        grid->addWidget(
            label(QStringLiteral("<b>%1</b><br>%2").arg(html(term), html(text)), this, 11), row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    outer->addLayout(grid);
    outer->addStretch(1);

    fadeTimer_ = new QTimer(this);
    fadeTimer_->setSingleShot(true);
    fadeTimer_->setInterval(100);
    connect(fadeTimer_, &QTimer::timeout, this, [this] { setWindowOpacity(1.0); });
}

QPoint TForm7a::placement(const QPoint& mouseGlobal, int inputBottom, const QRect& screen,
                          const QSize& size) {
    int left =
        std::min(screen.x() + screen.width() - size.width(), mouseGlobal.x() - kPointerOffset);
    left = std::max(left, screen.x());
    return {left, inputBottom};
}

void TForm7a::showAt(const QPoint& mouseGlobal, int inputBottom, const QRect& screen) {
    setWindowOpacity(0.0);
    move(placement(mouseGlobal, inputBottom, screen, size()));
    show();
    raise();
    fadeTimer_->start();
}

void TForm7a::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill = palette().color(QPalette::ToolTipBase);
    const QColor border = palette().color(QPalette::ToolTipText);
    QPainterPath body;
    body.addRoundedRect(QRectF(0.5, kBodyTop + 0.5, width() - 1, height() - kBodyTop - 1), 10, 10);
    QPainterPath pointer;
    pointer.moveTo(kPointerOffset + 3, 0.5);
    pointer.lineTo(kPointerOffset + 3, kBodyTop + 2);
    pointer.lineTo(kPointerOffset + 33, kBodyTop + 2);
    pointer.closeSubpath();
    const QPainterPath balloon = body.united(pointer);
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawPath(balloon);
}

void TForm7a::keyPressEvent(QKeyEvent*) {
    hide();
}
void TForm7a::mouseMoveEvent(QMouseEvent*) {
    hide();
}
void TForm7a::enterEvent(QEnterEvent*) {
    hide();
}
