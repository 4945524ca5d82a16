#pragma once

// The quick search of the main window, bound to its controls.
//
// Use:
//   auto* qs = new QuickSearch(qs_text, qs_go, views, this); // qs_text: an editable QComboBox
//   qs->setOptions(opts);          // the six search options from the settings
//   qs->setMru(mruList);           // QuickSearchMRU, newest first; qs->mru() to save it
// The search index is rebuilt off the GUI thread whenever `views` reports a reload.
// run() is qs_goClick (also for the remote SEARCH/PLAYALL items after setting the text).
// A search runs on a worker thread; its result is shown on the GUI thread when it is
// ready (searched()). A newer search drops the result of an older one, and a search made
// before the index is built waits for it without blocking.

#include "search_query.h"

#include <QFuture>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>

#include <memory>

class CollectionViews;
class QAbstractButton;
class QAbstractItemView;
class QComboBox;
class QCompleter;
class QLineEdit;
class QStyledItemDelegate;
class QTimer;
class QWidget;
class TForm7a;
namespace quicksearch {
class SearchIndex;
struct SearchResult;
} // namespace quicksearch

class QuickSearch : public QObject {
    Q_OBJECT
public:
    QuickSearch(QComboBox* qs_text, QAbstractButton* qs_go, CollectionViews* views,
                QObject* parent = nullptr);
    ~QuickSearch() override;

    void setOptions(const quicksearch::SearchOptions& options);
    const quicksearch::SearchOptions& options() const { return options_; }

    // The remembered searches, newest first.
    void setMru(const QStringList& entries);
    QStringList mru() const;

    // Text of the input line ("SearchText").
    QString text() const;
    void setText(const QString& text);
    // Focuses the input line with its whole text selected.
    void focusInput();

    // Starts the search on the input text; the results are shown when it is done.
    void run();
    // True while a search waits for the index or runs.
    bool searching() const { return running_ != 0; }
    // Calls `then` (in `context`'s thread) once the newest search started so far is shown,
    // at once when none is running; never when a newer search supersedes it.
    void whenShown(QObject* context, std::function<void()> then);
    // A search the user starts (Go!, Enter, a picked entry) goes to `request` when one is
    // set (the window's command), else it runs at once.
    void setRequestHandler(std::function<void()> request) { request_ = std::move(request); }
    // True once the index of the current collection is built.
    bool indexReady() const { return index_ != nullptr; }
    const quicksearch::SearchState& lastSearch() const { return state_; }

    TForm7a* tipsWindow() const { return tips_; }
    // The search tips timer (3000 ms).
    QTimer* tipsTimer() const { return tipsTimer_; }

signals:
    // After every search shown, with its state (also in the views' status text).
    void searched(const quicksearch::SearchState& state);
    // searching() changed.
    void searchingChanged(bool searching);
    // The search tips opened (the program plays its notification sound).
    void tipsShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Request {
        quint64 id = 0;
        QString raw;
        quicksearch::SearchTerms terms;
        quicksearch::SearchOptions options;
        QPointer<QWidget> focus; // what had the keyboard focus when it was asked for
    };
    // Whether the result shown may move the focus to the list: not when the user has gone
    // on to another widget meanwhile (the index was still being built).
    bool mayTakeFocus(const Request& request) const;
    void requestSearch();
    void rebuildIndex();
    void indexBuilt(quint64 generation,
                    QFuture<std::shared_ptr<const quicksearch::SearchIndex>> built);
    void start(Request request);
    void finish(const Request& request, quint64 generation,
                QFuture<quicksearch::SearchResult> done);
    void show(const Request& request, quicksearch::SearchResult result);
    void setRunning(quint64 id);
    void runCompletion(const QString& text);
    void colourInput();
    void applyHighlightStyle();
    void showTips();

    QComboBox* box_;
    QLineEdit* edit_;
    QCompleter* completer_ = nullptr;
    const QObject* completionListObject_ = nullptr; // compared, never used
    QPointer<QAbstractItemView> completionList_;    // the completer's list
    CollectionViews* views_;
    quicksearch::SearchOptions options_;
    quicksearch::SearchState state_;
    std::shared_ptr<const quicksearch::SearchIndex> index_; // null while it is built
    quint64 indexGeneration_ = 0; // counts the builds; a stale build or search is dropped
    quint64 lastId_ = 0;          // the newest request
    quint64 running_ = 0;         // the request waiting or running, 0: none
    quint64 shownId_ = 0;         // the request shown last
    Request queued_;              // waits for the index when queued_.id == running_
    std::function<void()> request_;
    QStyledItemDelegate* plainDelegate_ = nullptr;
    QStyledItemDelegate* colourDelegate_ = nullptr;
    TForm7a* tips_ = nullptr;
    QTimer* tipsTimer_ = nullptr;
    QPoint lastMouse_{-1, -1};
    bool colouring_ = false;
};
