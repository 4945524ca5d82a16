#pragma once

#include "encoder_search.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// "Encoder suchen...": lists the encoder libraries the search finds and lets the user
// pick one. The scan runs off the GUI thread in EncoderSearch, as a job of the task
// service when one is set.
class TForm9 : public QDialog {
    Q_OBJECT
public:
    // The search covers the data folder, the system's library folders, /opt, /usr/local
    // and the home folder.
    explicit TForm9(QWidget* parent = nullptr, const QString& dataFolder = QString());
    ~TForm9() override;

    void setTaskService(TaskService* tasks) { m_search->setTaskService(tasks); }
    void setRoots(const QStringList& roots) { m_roots = roots; }
    const QStringList& roots() const { return m_roots; }
    // The chosen library path; empty when cancelled.
    QString result() const { return m_result; }
    QTreeWidget* encoders() const { return m_list; }
    QLabel* statusText() const { return m_status; }
    QPushButton* selectButton() const { return m_select; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;

private:
    void startSearch();
    void addRow(const EncoderCandidate& c);
    void searchFinished(bool cancelled);
    void showFolder(const QString& path);
    void choose();
    void updateSelect();

    EncoderSearch* m_search;
    QTimer m_startTimer;
    QStringList m_roots;
    QString m_result;
    QTreeWidget* m_list;
    QLabel* m_status;
    QLabel* m_empty;
    QProgressBar* m_animation;
    QPushButton* m_select;
    QPushButton* m_cancel;
};
