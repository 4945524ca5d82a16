#pragma once

#include "flat_table.h"
#include "node_table.h"
#include "text_codec.h"
#include "title_lists.h"
#include "tree_node.h"

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <functional>
#include <memory>
#include <vector>

// The record attached to a medium node.
struct MyMediaInfo {
    quint8 MediaType = indexfile::MediaUnknown;
    QString Author;
    QString Version;
    QString Comment;
    QString Resource;
    qint32 FolderCount = 0;
    qint32 TitleCount = 0;
    QString Details;
};

// Encodes a label for the details query: blank, *, #, %, <, > and every byte from 128
// upward become "%XX" (Windows-1252 bytes; UTF-8 bytes for characters outside it).
QString encodeDetailsLabel(QStringView label);
QString buildDetails(const MyMediaInfo& info, QStringView label);

// Connects network and web media while their index files load.
class MediumConnector {
public:
    virtual ~MediumConnector() = default;
    virtual void ConnectShare(const QString& medium, const QString& share) = 0;
    virtual void ConnectWebMedium(const QString& medium, const QString& url) = 0;
    // Entries of the connections list, for the status text.
    virtual int connectionCount() const { return 0; }
};

// One folder line of an index file, prepared for adding to the collection.
struct ParsedFolder {
    qsizetype pathLength = 0;     // the line without its final "\"
    QString name;                 // last path component
    HashedKey folded;             // the name, case-folded
    HashedKey exact;              // the name as written
    int parent = -1;              // index of the parent folder's line, -1 for the medium
    std::vector<TitlePart> parts; // the titles filed under the line
};

// An index file read and sorted, ready to be added; made on worker threads.
struct ParsedMedium {
    QString label;
    QString author;
    QString version;
    QString comment;
    std::vector<std::pair<QString, indexfile::TitleStyle>> styles;
    std::vector<std::pair<int, QString>> mediaTypes; // known codes in order, with resource
    std::vector<TitlePart> rootParts;                // titles in no folder of the medium
    std::vector<ParsedFolder> folders;
    int titleCount = 0;
};

// What one load of all media found.
struct LoadReport {
    int media = 0;
    int folders = 0;
    int titles = 0;
    QStringList errors; // one German message per index file that could not be read
};

// The collection: media tree, alphabetical folder tree, keyed title lists, display
// marks, medium labels and counters.
class Collection {
public:
    enum RootPosition {
        MediaList = 0,
        AlphaList,
        SearchNode,
        MerkzettelNode,
        ChartsNode,
        PlaylistNode
    };

    Collection();
    ~Collection();
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    // The folder of the index files.
    QString CatalogDir;

    TitleLists titleLists;
    TitleStyles titleStyles;
    QStringList cdnames; // labels of the loaded media, sorted without regard to case

    int mediaCount = 0;
    int folderCount = 0;
    int titleCount = 0;

    TreeNode* root() const { return root_.get(); }
    TreeNode* node(RootPosition which) const { return root_->child(which); }
    TreeNode* mediaListNode() const { return node(MediaList); }
    TreeNode* alphaListNode() const { return node(AlphaList); }

    void setConnector(MediumConnector* connector) { connector_ = connector; }

    // Adds one medium from an index file (name relative to CatalogDir, or absolute).
    // False with a German message when the file cannot be read; nothing is added then.
    bool LoadMedium(const QString& fileName, QString* error = nullptr);

    // Adds one medium from the lines of its index file.
    void addMedium(const QString& defaultName, const QStringList& fileLines);

    // Loads every "*.cd" file of CatalogDir in name order (without regard to case).
    // Files are read and sorted on worker threads; the model is built on the calling
    // thread. An unreadable file is reported and skipped. `progress` (optional) gets
    // the number of files done and the total: after every file of up to a thousand, else
    // once per thousandth of them, and always after the last.
    LoadReport LoadAllMedia(const std::function<void(int, int)>& progress = {});

    // Removes all media; the fixed lists and their contents stay.
    void ClearCollection();

    // The status line after loading.
    QString loadedStatusText(const QLocale& locale = QLocale()) const;

    // The index files of a folder in loading order.
    static QStringList indexFilesIn(const QString& dir);

private:
    // Reads the lines of an index file; the views of parseMedium are views of them.
    static ParsedMedium parseLines(const QStringList& fileLines);
    static ParsedMedium parseMedium(const std::vector<QStringView>& sortedBody);
    void applyMedium(const QString& defaultName, ParsedMedium&& medium);
    TreeNode* findAlphaNode(TreeNode* alphaParent, const HashedKey& name) const;
    HashedKey uniqueName(const ParsedFolder& folder, QString* unique, bool* isNew);

    std::unique_ptr<TreeNode> root_;
    MediumConnector* connector_ = nullptr;
    // Alphabetical nodes by exact name, the first in preorder in front.
    FlatTable<HashedKey, QVarLengthArray<TreeNode*, 1>> alphaByName_;
    // The first alphabetical node added under a parent by its exact name.
    NodeTable alphaChildren_;
    // The first node in preorder of a name below a top node of the list (at any depth).
    NodeTable firstBelowTop_;
    FlatTable<HashedKey, int> nextSuffix_; // folded name -> first " (n)" worth trying
    QString nameBuffer_, keyBuffer_;       // for the numbered names
    // The nodes made for a medium's folders: folder and alphabetical node.
    std::vector<std::pair<TreeNode*, TreeNode*>> folderNodes_;
    textcodec::TextPool numberedNames_;
};
