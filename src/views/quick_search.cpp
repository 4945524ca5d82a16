#include "quick_search.h"

#include "collection_views.h"
#include "search_index.h"
#include "search_tips_window.h"
#include "title_list_model.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QCursor>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTextCharFormat>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

using namespace quicksearch;

namespace {

QColor colourFor(TermColour c, bool selected, const QPalette& palette) {
    switch (c) {
    case TermColour::Plus:
        return selected ? QColor(0xFF, 0xFF, 0x00) : QColor(0x00, 0x00, 0xFF);
    case TermColour::Minus:
        return selected ? QColor(0x00, 0xFF, 0xFF) : QColor(0xFF, 0x00, 0x00);
    default:
        return palette.color(selected ? QPalette::HighlightedText : QPalette::WindowText);
    }
}

// Draws a remembered search with its "+" words blue and "-" words red.
class MruDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        p->save();
        p->fillRect(option.rect,
                    option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
        const QString text = index.data().toString();
        int x = option.rect.x() + 2;
        const QFontMetrics fm(option.font);
        p->setFont(option.font);
        for (const ColourSpan& s : mruColourSpans(text)) {
            const QString word = text.mid(s.start, s.length);
            p->setPen(colourFor(s.colour, selected, option.palette));
            const QRect r(x, option.rect.y() + 1, fm.horizontalAdvance(word) + 1,
                          option.rect.height() - 1);
            p->drawText(r, Qt::AlignLeft | Qt::AlignVCenter, word);
            x += fm.horizontalAdvance(word);
        }
        p->restore();
    }
};

} // namespace

QuickSearch::QuickSearch(QComboBox* qs_text, QAbstractButton* qs_go, CollectionViews* views,
                         QObject* parent)
    : QObject(parent), box_(qs_text), views_(views) {
    box_->setEditable(true);
    box_->setInsertPolicy(QComboBox::NoInsert);
    box_->setDuplicatesEnabled(false);
    edit_ = box_->lineEdit();
    const QString hint = QStringLiteral("Begriff eingeben, nach dem gesucht werden soll.");
    box_->setToolTip(hint);
    edit_->setPlaceholderText(hint);
    edit_->setMouseTracking(true);
    edit_->installEventFilter(this);
    box_->installEventFilter(this);
    if (qs_go) {
        qs_go->setToolTip(QStringLiteral("Suche starten"));
        connect(qs_go, &QAbstractButton::clicked, this, &QuickSearch::requestSearch);
    }
    plainDelegate_ = new QStyledItemDelegate(box_);
    colourDelegate_ = new MruDelegate(box_);
    applyHighlightStyle();

    // The remembered searches that begin with the typed text are offered in a list below
    // the field; the typed text itself is never extended, so Enter searches what was typed.
    completer_ = new QCompleter(box_->model(), box_);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setCompletionMode(QCompleter::PopupCompletion);
    completer_->setFilterMode(Qt::MatchStartsWith);
    box_->setCompleter(completer_);
    completionList_ = completer_->popup();
    completionListObject_ = completionList_;
    completionList_->installEventFilter(this);
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& text) { runCompletion(text); });

    connect(edit_, &QLineEdit::textChanged, this, [this] { colourInput(); });
    // An entry picked from the drop-down (Enter in the line is handled by the filter).
    connect(box_, &QComboBox::activated, this, [this](int i) {
        edit_->setText(box_->itemText(i));
        edit_->setFocus();
        requestSearch();
    });

    tips_ = new TForm7a(box_->window());
    tipsTimer_ = new QTimer(this);
    tipsTimer_->setSingleShot(true);
    tipsTimer_->setInterval(3000);
    connect(tipsTimer_, &QTimer::timeout, this, &QuickSearch::showTips);

    if (views_)
        connect(views_, &CollectionViews::collectionReset, this, &QuickSearch::rebuildIndex);
    rebuildIndex();
}

QuickSearch::~QuickSearch() {
    if (pending_.isRunning()) pending_.waitForFinished();
}

void QuickSearch::setOptions(const SearchOptions& options) {
    options_ = options;
    applyHighlightStyle();
    colourInput();
    if (options_.noballoon) {
        tipsTimer_->stop();
        tips_->hide();
    }
}

void QuickSearch::applyHighlightStyle() {
    box_->setItemDelegate(options_.nosyntax ? plainDelegate_ : colourDelegate_);
}

void QuickSearch::setMru(const QStringList& entries) {
    const QString keep = edit_->text();
    box_->clear();
    box_->addItems(cappedMru(entries));
    edit_->setText(keep);
}

QStringList QuickSearch::mru() const {
    QStringList out;
    for (int i = 0; i < box_->count(); ++i)
        out << box_->itemText(i);
    return out;
}

QString QuickSearch::text() const {
    return edit_->text();
}

void QuickSearch::setText(const QString& text) {
    edit_->setText(text);
}

void QuickSearch::focusInput() {
    edit_->setFocus(Qt::OtherFocusReason);
    edit_->selectAll();
}

void QuickSearch::rebuildIndex() {
    index_.reset();
    Collection* c = views_ ? views_->collection() : nullptr;
    if (!c) return;
    if (pending_.isRunning()) pending_.waitForFinished();
    // The lists are shared with the snapshot, so the worker never sees later changes.
    auto sources = SearchIndex::snapshot(c->titleLists);
    pending_ = QtConcurrent::run([s = std::move(sources)]() mutable {
        return std::shared_ptr<const SearchIndex>(std::make_shared<SearchIndex>(std::move(s)));
    });
}

std::shared_ptr<const SearchIndex> QuickSearch::index() {
    if (!index_ && pending_.isValid()) {
        pending_.waitForFinished();
        index_ = pending_.result();
        pending_ = {};
    }
    return index_;
}

void QuickSearch::run() {
    Collection* c = views_ ? views_->collection() : nullptr;
    if (!c) return;
    const QString raw = edit_->text();
    const SearchTerms terms = parseSearch(raw, options_);
    const auto idx = index();
    SearchResult result = idx ? idx->search(terms, options_) : SearchResult();
    releaseInBackground(
        std::exchange(c->titleLists.list(TitleLists::SearchResults), std::move(result.titles)));
    c->titleLists.setNameOrder(TitleLists::SearchResults, std::move(result.order));

    state_ = {terms.searchText,     result.hits,      result.limited,
              options_.reslimitcnt, options_.nomedia, options_.nopads};
    QStringList entries = mru();
    const qsizetype kept = std::as_const(c->titleLists).list(TitleLists::SearchResults).size();
    if (insertMru(entries, raw, terms, kept)) {
        box_->insertItem(0, raw);
        while (box_->count() > kMruLimit)
            box_->removeItem(box_->count() - 1);
        edit_->setText(raw);
    }
    views_->setSearchState(state_);
    views_->selectFixedNode(Collection::SearchNode);
    views_->focusList();
    emit searched(state_);
}

void QuickSearch::runCompletion(const QString& text) {
    if (completionList_) completionList_->hide();
    edit_->setText(text);
    edit_->setFocus();
    requestSearch();
}

void QuickSearch::requestSearch() {
    if (request_)
        request_();
    else
        run();
}

void QuickSearch::colourInput() {
    if (colouring_) return;
    colouring_ = true;
    QList<QInputMethodEvent::Attribute> attributes;
    const QString text = edit_->text();
    const int caret = edit_->cursorPosition();
    const int selStart = edit_->selectionStart();
    const int selLength = edit_->selectedText().size();
    if (!text.isEmpty() && !options_.nosyntax) {
        for (const ColourSpan& s : inputColourSpans(text)) {
            if (s.colour == TermColour::Normal) continue;
            QTextCharFormat f;
            f.setForeground(colourFor(s.colour, false, edit_->palette()));
            attributes.append(QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat,
                                                           s.start - caret, s.length, f));
        }
    }
    QInputMethodEvent event(QString(), attributes);
    QCoreApplication::sendEvent(edit_, &event);
    if (selStart >= 0 && selLength > 0)
        edit_->setSelection(selStart, selLength);
    else
        edit_->setCursorPosition(caret);
    colouring_ = false;
}

void QuickSearch::showTips() {
    tipsTimer_->stop();
    if (options_.noballoon || QCursor::pos() != lastMouse_) return;
    QScreen* screen = QGuiApplication::screenAt(lastMouse_);
    if (!screen) screen = edit_->screen();
    const int bottom = edit_->mapToGlobal(QPoint(0, edit_->height())).y();
    tips_->showAt(lastMouse_, bottom, screen->geometry());
    emit tipsShown();
}

bool QuickSearch::eventFilter(QObject* watched, QEvent* event) {
    // The list may be half destroyed (events sent from its destructor): compare the
    // address only, and touch it on key presses alone.
    if (watched == completionListObject_) {
        // Enter in the list: the entry picked, or the typed text when none is.
        if (event->type() != QEvent::KeyPress || !completionList_) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
        const QModelIndex current = completionList_->currentIndex();
        runCompletion(current.isValid() ? current.data().toString() : edit_->text());
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        tips_->hide();
        if (!options_.noballoon) tipsTimer_->start();
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (!box_->view()->isVisible()) {
                requestSearch();
                return true;
            }
        }
    } else if (event->type() == QEvent::MouseMove && watched == edit_) {
        const QPoint pos = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        if (pos != lastMouse_) {
            if (tips_->isVisible())
                tips_->hide();
            else if (!options_.noballoon)
                tipsTimer_->start();
        }
        lastMouse_ = pos;
    }
    return QObject::eventFilter(watched, event);
}
