#pragma once

#include "connections_list.h"
#include "statistics_pages.h"
#include "streaming_server.h"
#include "title_properties.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

class Collection;
class ListenerModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QTabWidget;
class QTreeView;
class QTreeWidget;
class TForm10;
class WStreamingServer;
struct MyVersionInfo;
struct WClientInfo;

// What the statistics window reads from the rest of the program.
class StatisticsContext {
public:
    virtual ~StatisticsContext() = default;
    virtual const Collection* collection() const = 0;
    // Entries of the title list now shown (for the memory figure).
    virtual qint64 shownListEntries() const = 0;
    // The root holding the medium, after the insert-medium dialog when needed; empty when
    // the medium is not there.
    virtual QString findMediumDrive(const QString& label) = 0;
    virtual bool isWebFolder(const QString& root) const = 0;
    virtual QString titleFilePath(const QString& root, const QString& titleLine) const = 0;
    // The folder of a title's file as the user knows it (a URL on web media).
    virtual QString folderDisplay(const QString& path) const = 0;
    virtual QList<ConnectionEntry> connections() const = 0;
    // The file open in the main player and its length (ms); empty when nothing plays.
    virtual QString playingFile() const = 0;
    virtual qint64 playingLength() const = 0;
    virtual const MyVersionInfo& version() const = 0;
};

// The statistics window: the collection's figures, the connections, the live listener
// list, the program information and a title's properties. It receives the server's events
// at all times and keeps the main window's listener counter current.
class TForm4 : public QDialog {
    Q_OBJECT
public:
    // Titles are measured as jobs of `tasks`.
    TForm4(StatisticsContext* context, TaskService& tasks, QWidget* parent = nullptr);
    ~TForm4() override;

    // Sets what the next showing shows.
    void Request(const QString& name, const QString& medium = QString(),
                 const QString& path = QString());
    const statpages::Request& request() const { return request_; }
    // Request, then show modally.
    int showRequested();
    // Prepares the pages as the showing does (exec() calls it too).
    void prepare();

    // The server whose events drive the listener list; null detaches.
    void connectServer(WStreamingServer* server);
    WStreamingServer* server() const { return server_; }
    // The main window's listener counter.
    void setCounterLabel(QLabel* label);

    // The server's events.
    void StreamServerClientConnect(WStreamingServer* server, const WClientInfo& info);
    void StreamServerClientDisconnect(WStreamingServer* server, const WClientInfo& info);
    void StreamServerClientInfoChange(WStreamingServer* server, const WClientInfo& info);
    void StreamServerStop(WStreamingServer* server);
    void StreamServerFull(WStreamingServer* server);

    // The listener actions on a row.
    void disconnectRow(int row);
    void showDetails(int row);

    // For tests and the integration.
    QTabWidget* pages() const { return pages_; }
    ListenerModel* listenerModel() const { return model_; }
    QTreeView* listenerView() const { return listeners_; }
    QTreeWidget* connectionList() const { return netdrvs_; }
    QComboBox* mediumList() const { return media_; }
    QLabel* mediumText() const { return mediumText_; }
    QLabel* bitRateLabel() const { return sbitrate_; }
    QLabel* propertyField(int i) const { return props_[i]; }
    enum PropertyField { Name = 0, Type, Place, Size, Created, Changed, Accessed, PropertyCount };
    QCheckBox* attributeBox(int i) const { return attributes_[i]; }
    QLabel* statisticsField(int i) const { return figures_[i]; }
    TForm10* details() const { return details_; }
    bool measuring() const { return measurer_ && measurer_->busy(); }
    // The 500 ms tick: bit rate, the counter's colour, the listener figures.
    void tick();
    static constexpr int TickMs = 500;
    static constexpr int RefusalMs = 5000;

signals:
    // The properties of the shown title are complete (length measured).
    void propertiesComplete();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildPages();
    void fillStatistics();
    void fillConnections();
    void fillProperties();
    void mediumChosen(int index);
    void updateCounter();
    void listenerMenu(const QPoint& pos);
    void askHostNames();

    StatisticsContext* context_;
    QPointer<WStreamingServer> server_;
    statpages::Request request_;
    QLabel* counter_ = nullptr;
    QElapsedTimer refusal_; // valid while the counter shows a refusal
    QTimer timer_;
    QTabWidget* pages_ = nullptr;
    QWidget* page_[statpages::PageCount] = {};
    QLabel* props_[PropertyCount] = {};
    QCheckBox* attributes_[3] = {};
    QLabel* figures_[4] = {};
    QComboBox* media_ = nullptr;
    QLabel* mediumIcon_ = nullptr;
    QLabel* mediumText_ = nullptr;
    int previousMedium_ = 0;
    QTreeWidget* netdrvs_ = nullptr;
    QTreeView* listeners_ = nullptr;
    ListenerModel* model_ = nullptr;
    QLabel* sbitrate_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QLabel* noticeLabel_ = nullptr;
    QLabel* contactLabel_ = nullptr;
    TForm10* details_ = nullptr;
    TitleMeasurer* measurer_ = nullptr;
    quint64 measureSerial_ = 0;
    qint64 shownBytes_ = 0;
    // The memory of a collection's lists and tree, kept until the next reload.
    const Collection* bulkOf_ = nullptr;
    int bulkTitles_ = -1;
    int bulkLists_ = -1;
    qint64 bulkBytes_ = 0;
};
