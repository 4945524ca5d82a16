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
#include <QFutureWatcher>
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

// Jobs still running hold what they need (the index, the terms) and drop their results
// with their watchers.
QuickSearch::~QuickSearch() = default;

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
    const quint64 generation = ++indexGeneration_;
    Collection* c = views_ ? views_->collection() : nullptr;
    if (!c) {
        setRunning(0); // nothing left to search
        return;
    }
    // The lists are shared with the snapshot, so the worker never sees later changes.
    auto sources = SearchIndex::snapshot(c->titleLists);
    auto byName = c->titleLists.searchedOrder();
    using Built = std::shared_ptr<const SearchIndex>;
    auto* watcher = new QFutureWatcher<Built>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        indexBuilt(generation, watcher->future());
    });
    watcher->setFuture(QtConcurrent::run([s = std::move(sources), o = std::move(byName)]() mutable {
        return Built(std::make_shared<SearchIndex>(std::move(s), std::move(o)));
    }));
}

void QuickSearch::indexBuilt(quint64 generation,
                             QFuture<std::shared_ptr<const SearchIndex>> built) {
    if (generation != indexGeneration_) return; // a newer one comes
    if (built.resultCount() == 0) { // the build failed: nothing is coming for a queued search
        setRunning(0);
        return;
    }
    index_ = built.takeResult();
    if (running_ != 0 && queued_.id == running_) start(std::exchange(queued_, Request()));
}

void QuickSearch::setRunning(quint64 id) {
    const bool was = running_ != 0;
    running_ = id;
    if (was != (id != 0)) emit searchingChanged(id != 0);
}

void QuickSearch::run() {
    Collection* c = views_ ? views_->collection() : nullptr;
    if (!c) return;
    Request r;
    r.id = ++lastId_;
    r.raw = edit_->text();
    r.terms = parseSearch(r.raw, options_);
    r.options = options_;
    r.focus = QApplication::focusWidget();
    setRunning(r.id);
    start(std::move(r));
}

void QuickSearch::start(Request request) {
    if (!index_) {
        queued_ = std::move(request); // answered when the index is built
        return;
    }
    const quint64 generation = indexGeneration_;
    auto* watcher = new QFutureWatcher<SearchResult>(this);
    auto job = [index = index_, terms = request.terms, options = request.options] {
        return index->search(terms, options);
    };
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, generation, r = std::move(request)] {
                watcher->deleteLater();
                finish(r, generation, watcher->future());
            });
    watcher->setFuture(QtConcurrent::run(std::move(job)));
}

void QuickSearch::finish(const Request& request, quint64 generation, QFuture<SearchResult> done) {
    if (done.resultCount() == 0) { // the search failed (out of memory)
        if (request.id == running_) setRunning(0);
        return;
    }
    SearchResult result = done.takeResult();
    if (request.id != running_) {
        releaseInBackground(std::move(result.titles)); // superseded
        return;
    }
    if (generation != indexGeneration_) {
        // The collection changed meanwhile: the same search on the new one.
        releaseInBackground(std::move(result.titles));
        start(request);
        return;
    }
    show(request, std::move(result));
}

void QuickSearch::show(const Request& request, SearchResult result) {
    Collection* c = views_ ? views_->collection() : nullptr;
    setRunning(0);
    if (!c) return;
    releaseInBackground(
        std::exchange(c->titleLists.list(TitleLists::SearchResults), std::move(result.titles)));
    c->titleLists.setNameOrder(TitleLists::SearchResults, std::move(result.order));

    const SearchOptions& o = request.options;
    state_ = {
        request.terms.searchText, result.hits, result.limited, o.reslimitcnt, o.nomedia, o.nopads};
    shownId_ = request.id;
    QStringList entries = mru();
    const qsizetype kept = std::as_const(c->titleLists).list(TitleLists::SearchResults).size();
    const QString typed = edit_->text(); // may differ from the search's by now
    if (insertMru(entries, request.raw, request.terms, kept)) {
        box_->insertItem(0, request.raw);
        while (box_->count() > kMruLimit)
            box_->removeItem(box_->count() - 1);
    }
    // The entry of the text becomes the current one: the box picks an entry that matches
    // the text and is not current when the field loses the focus, which would search again.
    const int entry = box_->findText(typed, Qt::MatchFixedString);
    if (entry >= 0 && entry != box_->currentIndex()) box_->setCurrentIndex(entry);
    if (edit_->text() != typed) edit_->setText(typed);
    views_->setSearchState(state_);
    views_->selectFixedNode(Collection::SearchNode);
    if (mayTakeFocus(request)) views_->focusList();
    emit searched(state_);
}

bool QuickSearch::mayTakeFocus(const Request& request) const {
    QWidget* now = QApplication::focusWidget();
    if (!now || now == request.focus) return true; // nobody moved it since
    // Still at the search: the field, its drop-down or completions, or the list.
    return now == box_ || box_->isAncestorOf(now) || now == completionList_ ||
           now == views_->list();
}

void QuickSearch::whenShown(QObject* context, std::function<void()> then) {
    if (!searching()) {
        then();
        return;
    }
    const quint64 id = lastId_;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(this, &QuickSearch::searched, context,
                          [this, id, connection, then = std::move(then)] {
                              if (shownId_ < id) return; // an older search
                              disconnect(*connection);
                              if (shownId_ == id) then();
                          });
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
