#pragma once

// The quick search of the main window, bound to its controls.
//
// Use:
//   auto* qs = new QuickSearch(qs_text, qs_go, views, this); // qs_text: an editable QComboBox
//   qs->setOptions(opts);          // the six search options from the settings
//   qs->setMru(mruList);           // QuickSearchMRU, newest first; qs->mru() to save it
// The search index is rebuilt off the GUI thread whenever `views` reports a reload.
// run() is qs_goClick (also for the remote SEARCH/PLAYALL items after setting the text).

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
class TForm7a;
namespace quicksearch {
class SearchIndex;
}

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

    // Runs the search on the input text and shows the results.
    void run();
    // A search the user starts (Go!, Enter, a picked entry) goes to `request` when one is
    // set (the window's command), else it runs at once.
    void setRequestHandler(std::function<void()> request) { request_ = std::move(request); }
    // True once the index of the current collection is built (a search then never waits).
    bool indexReady() const { return index_ || (pending_.isValid() && pending_.isFinished()); }
    const quicksearch::SearchState& lastSearch() const { return state_; }

    TForm7a* tipsWindow() const { return tips_; }
    // The search tips timer (3000 ms).
    QTimer* tipsTimer() const { return tipsTimer_; }

signals:
    // After every search, with its state (also in the views' status text).
    void searched(const quicksearch::SearchState& state);
    // The search tips opened (the program plays its notification sound).
    void tipsShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void requestSearch();
    void rebuildIndex();
    void runCompletion(const QString& text);
    void colourInput();
    void applyHighlightStyle();
    void showTips();
    std::shared_ptr<const quicksearch::SearchIndex> index();

    QComboBox* box_;
    QLineEdit* edit_;
    QCompleter* completer_ = nullptr;
    const QObject* completionListObject_ = nullptr; // compared, never used
    QPointer<QAbstractItemView> completionList_;    // the completer's list
    CollectionViews* views_;
    quicksearch::SearchOptions options_;
    quicksearch::SearchState state_;
    QFuture<std::shared_ptr<const quicksearch::SearchIndex>> pending_;
    std::shared_ptr<const quicksearch::SearchIndex> index_;
    std::function<void()> request_;
    QStyledItemDelegate* plainDelegate_ = nullptr;
    QStyledItemDelegate* colourDelegate_ = nullptr;
    TForm7a* tips_ = nullptr;
    QTimer* tipsTimer_ = nullptr;
    QPoint lastMouse_{-1, -1};
    bool colouring_ = false;
};
