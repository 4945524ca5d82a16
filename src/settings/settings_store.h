#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A registry-like settings store kept in one JSON file: keys are paths with "\"
// between the parts ("Software\Vorlune\Streaming"), compared without regard to case;
// each key holds named values (32-bit integer, text or binary), enumerated in the
// order they were first written. Value names are compared without regard to case too.
class SettingsStore {
public:
    enum class Type { Integer, Text, Binary };
    struct Value {
        QString name;
        Type type = Type::Text;
        qint32 integer = 0;
        QString text;
        QByteArray binary;
    };

    // An empty store bound to a file; nothing is read until load().
    explicit SettingsStore(QString filePath);

    const QString& filePath() const { return filePath_; }

    // Reads the file. A missing file gives an empty store. A file that cannot be parsed
    // is renamed to "<file>.corrupt-<time>" and the store starts empty; `movedTo` then
    // names the new place. False only when the file exists and cannot be read.
    // A file that could not be read (or not be moved aside), and one its owner made
    // read-only, is never written over: save() refuses, and loadWarning() says why.
    bool load(QString* movedTo = nullptr);

    // Writes the whole store atomically with mode 0600; on failure the file keeps its old
    // contents and `error` says why.
    bool save(QString* error = nullptr) const;
    // What the user is told when save() failed with `reason`.
    static QString saveFailedText(const QString& file, const QString& reason);
    // What the user is told once after load() moved a damaged file aside; empty otherwise.
    const QString& resetNotice() const { return resetNotice_; }

    // The store from the contents of a settings file; false (and an empty store) when
    // they cannot be parsed. Key paths deeper than MaxKeyDepth or with a part longer
    // than MaxKeyPartLength are refused, and so is a file whose paths imply far more
    // keys than it holds: the store and its next save stay within a few times the
    // file's size.
    bool loadFromData(const QByteArray& data);
    // The file contents save() writes; they always load again. An empty key directly
    // followed by its first sub key is left out (up to a bound): loading the sub key
    // creates it again, in the same place.
    QByteArray toData() const;

    // The program's own keys are a few levels deep; every level of a path costs a key
    // holding the full path up to it, so deep paths cost in the square of their depth.
    static constexpr int MaxKeyDepth = 32;
    static constexpr int MaxKeyPartLength = 255;

    // What the user should be told once after load(); empty when all is well.
    const QString& loadWarning() const { return loadWarning_; }
    bool mayWrite() const { return loadWarning_.isEmpty(); }

    bool keyExists(const QString& key) const;
    void createKey(const QString& key);
    // Deletes the key with all its sub keys and values.
    void deleteKey(const QString& key);
    // The direct sub keys' last parts, in creation order.
    QStringList subKeys(const QString& key) const;

    QStringList valueNames(const QString& key) const;
    const Value* value(const QString& key, const QString& name) const;
    bool hasValue(const QString& key, const QString& name) const {
        return value(key, name) != nullptr;
    }
    void deleteValue(const QString& key, const QString& name);

    // Typed reads: empty when the value is absent or of another type.
    std::optional<qint32> readInteger(const QString& key, const QString& name) const;
    std::optional<bool> readBool(const QString& key, const QString& name) const;
    std::optional<QString> readText(const QString& key, const QString& name) const;
    std::optional<QByteArray> readBinary(const QString& key, const QString& name) const;

    // Writes create the key when missing; an existing value keeps its place.
    void writeInteger(const QString& key, const QString& name, qint32 data);
    void writeBool(const QString& key, const QString& name, bool data) {
        writeInteger(key, name, data ? 1 : 0);
    }
    void writeText(const QString& key, const QString& name, const QString& data);
    void writeBinary(const QString& key, const QString& name, const QByteArray& data);

    void clear();

private:
    struct Key {
        QString path; // as first written
        std::vector<Value> values;
        QHash<QString, int> byName; // folded name -> index
    };
    static QString fold(const QString& text) { return text.toCaseFolded(); }
    static QString normalise(const QString& key);
    Key* findKey(const QString& key);
    const Key* findKey(const QString& key) const;
    Key& ensureKey(const QString& key);
    Value& slot(const QString& key, const QString& name);
    Value& slotIn(Key& key, const QString& name);
    Value& slotIn(Key& key, const QString& name, Type type);
    bool parse(const QByteArray& data);

    QString filePath_;
    QString loadWarning_;
    QString resetNotice_;
    std::vector<Key> keys_;        // creation order; deleted keys leave no hole
    QHash<QString, size_t> index_; // folded path -> position in keys_
    // Parent's position in keys_ (kRoot for the top) -> positions of its direct sub keys,
    // in creation order.
    static constexpr size_t kRoot = size_t(-1);
    QHash<size_t, std::vector<size_t>> children_;
    void addIndex(size_t position);
    void addIndex(size_t position, const QString& folded, size_t parent);
};
