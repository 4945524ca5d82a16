#include "settings_store.h"

#include "atomic_file.h"
#include "log_categories.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

// What a file may make the store build beyond its own size: parents that its paths only
// imply cost a key each and their full path, so a short file of deep paths could grow
// without bound in memory and in the next save.
constexpr qint64 kKeyCost = 64;
// What implied keys may cost beyond four times the file's size.
constexpr qint64 kImpliedAllowance = 8 * 1024;
qint64 loadBudget(qint64 fileSize) {
    return 4 * fileSize + kImpliedAllowance;
}

// At most `limit` + 1 bytes of a regular file; nothing else is read (a FIFO would hang
// the start, a device never end).
bool readRegularFile(const QString& path, qint64 limit, QByteArray* data, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = qt_error_string(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("keine gewöhnliche Datei");
        ::close(fd);
        return false;
    }
    data->clear();
    char buffer[65536];
    while (data->size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = qt_error_string(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        data->append(buffer, n);
    }
    ::close(fd);
    return true;
}

// Whether loading `child` alone creates `parent` as written: `child` is a direct sub key
// whose path starts with `parent` exactly.
bool isCreatedBy(const QString& parent, const QString& child) {
    return child.size() > parent.size() + 1 && child[parent.size()] == QLatin1Char('\\') &&
           child.startsWith(parent) && child.indexOf(QLatin1Char('\\'), parent.size() + 1) < 0;
}

QString typeName(SettingsStore::Type type) {
    switch (type) {
    case SettingsStore::Type::Integer:
        return QStringLiteral("integer");
    case SettingsStore::Type::Binary:
        return QStringLiteral("binary");
    case SettingsStore::Type::Text:
        break;
    }
    return QStringLiteral("text");
}

} // namespace

SettingsStore::SettingsStore(QString filePath) : filePath_(std::move(filePath)) {}

QString SettingsStore::normalise(const QString& key) {
    // Most keys are normal already: no copy, and no list of parts for a deep key, whose
    // every lookup would otherwise allocate once per part.
    const bool clean = !key.startsWith(QLatin1Char('\\')) && !key.endsWith(QLatin1Char('\\')) &&
                       !key.contains(QLatin1String("\\\\"));
    if (clean) return key;
    QStringList parts = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('\\'));
}

SettingsStore::Key* SettingsStore::findKey(const QString& key) {
    const auto it = index_.constFind(fold(normalise(key)));
    return it == index_.constEnd() ? nullptr : &keys_[*it];
}

const SettingsStore::Key* SettingsStore::findKey(const QString& key) const {
    const auto it = index_.constFind(fold(normalise(key)));
    return it == index_.constEnd() ? nullptr : &keys_[*it];
}

SettingsStore::Key& SettingsStore::ensureKey(const QString& key) {
    const QString path = normalise(key);
    const QString folded = fold(path);
    if (const auto it = index_.constFind(folded); it != index_.constEnd()) return keys_[*it];
    // Parents exist whenever a child does, as in the registry: find the deepest one that
    // does, then create the rest from the top down.
    // Folding keeps the length, so a parent's folded path is a prefix of the folded path:
    // a deep key is folded once, not once per parent.
    const bool sameLength = folded.size() == path.size();
    // The missing keys, deepest first, each with its folded path.
    std::vector<std::pair<qsizetype, QString>> missing{{path.size(), folded}};
    size_t parent = kRoot;
    for (qsizetype cut = path.lastIndexOf(QLatin1Char('\\')); cut > 0;
         cut = path.lastIndexOf(QLatin1Char('\\'), cut - 1)) {
        QString f = sameLength ? folded.left(cut) : fold(path.left(cut));
        if (const auto it = index_.constFind(f); it != index_.constEnd()) {
            parent = *it;
            break;
        }
        missing.emplace_back(cut, std::move(f));
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        keys_.push_back(Key{path.left(it->first), {}, {}});
        addIndex(keys_.size() - 1, it->second, parent);
        parent = keys_.size() - 1;
    }
    return keys_.back();
}

void SettingsStore::addIndex(size_t position) {
    // Parents come before their sub keys, so the parent is indexed already.
    const QString folded = fold(keys_[position].path);
    const qsizetype cut = folded.lastIndexOf(QLatin1Char('\\'));
    addIndex(position, folded, cut < 0 ? kRoot : index_.value(folded.left(cut), kRoot));
}

void SettingsStore::addIndex(size_t position, const QString& folded, size_t parent) {
    index_.insert(folded, position);
    children_[parent].push_back(position);
}

bool SettingsStore::keyExists(const QString& key) const {
    return findKey(key) != nullptr;
}

void SettingsStore::createKey(const QString& key) {
    ensureKey(key);
}

void SettingsStore::deleteKey(const QString& key) {
    const QString folded = fold(normalise(key));
    if (folded.isEmpty()) return;
    const QString prefix = folded + QLatin1Char('\\');
    std::vector<Key> kept;
    kept.reserve(keys_.size());
    for (Key& k : keys_) {
        const QString f = fold(k.path);
        if (f != folded && !f.startsWith(prefix)) kept.push_back(std::move(k));
    }
    keys_ = std::move(kept);
    index_.clear();
    children_.clear();
    for (size_t i = 0; i < keys_.size(); ++i)
        addIndex(i);
}

QStringList SettingsStore::subKeys(const QString& key) const {
    const QString folded = fold(normalise(key));
    QStringList result;
    size_t parent = kRoot;
    if (!folded.isEmpty()) {
        const auto found = index_.constFind(folded);
        if (found == index_.constEnd()) return result;
        parent = *found;
    }
    const auto it = children_.constFind(parent);
    if (it == children_.constEnd()) return result;
    const qsizetype skip = folded.isEmpty() ? 0 : folded.size() + 1;
    result.reserve(qsizetype(it->size()));
    for (const size_t position : *it)
        result.append(keys_[position].path.mid(skip));
    return result;
}

QStringList SettingsStore::valueNames(const QString& key) const {
    QStringList names;
    if (const Key* k = findKey(key)) {
        names.reserve(qsizetype(k->values.size()));
        for (const Value& v : k->values)
            names.append(v.name);
    }
    return names;
}

const SettingsStore::Value* SettingsStore::value(const QString& key, const QString& name) const {
    const Key* k = findKey(key);
    if (!k) return nullptr;
    const auto it = k->byName.constFind(fold(name));
    return it == k->byName.constEnd() ? nullptr : &k->values[size_t(*it)];
}

void SettingsStore::deleteValue(const QString& key, const QString& name) {
    Key* k = findKey(key);
    if (!k) return;
    const auto it = k->byName.constFind(fold(name));
    if (it == k->byName.constEnd()) return;
    k->values.erase(k->values.begin() + *it);
    k->byName.clear();
    for (size_t i = 0; i < k->values.size(); ++i)
        k->byName.insert(fold(k->values[i].name), int(i));
}

std::optional<qint32> SettingsStore::readInteger(const QString& key, const QString& name) const {
    const Value* v = value(key, name);
    if (!v || v->type != Type::Integer) return std::nullopt;
    return v->integer;
}

std::optional<bool> SettingsStore::readBool(const QString& key, const QString& name) const {
    const auto i = readInteger(key, name);
    if (!i) return std::nullopt;
    return *i != 0;
}

std::optional<QString> SettingsStore::readText(const QString& key, const QString& name) const {
    const Value* v = value(key, name);
    if (!v || v->type != Type::Text) return std::nullopt;
    return v->text;
}

std::optional<QByteArray> SettingsStore::readBinary(const QString& key, const QString& name) const {
    const Value* v = value(key, name);
    if (!v || v->type != Type::Binary) return std::nullopt;
    return v->binary;
}

SettingsStore::Value& SettingsStore::slot(const QString& key, const QString& name) {
    return slotIn(ensureKey(key), name);
}

SettingsStore::Value& SettingsStore::slotIn(Key& k, const QString& name, Type type) {
    Value& v = slotIn(k, name);
    v.type = type;
    return v;
}

SettingsStore::Value& SettingsStore::slotIn(Key& k, const QString& name) {
    const QString folded = fold(name);
    if (const auto it = k.byName.constFind(folded); it != k.byName.constEnd()) {
        Value& v = k.values[size_t(*it)];
        v.integer = 0;
        v.text.clear();
        v.binary.clear();
        return v;
    }
    k.values.push_back(Value{name, Type::Text, 0, {}, {}});
    k.byName.insert(folded, int(k.values.size() - 1));
    return k.values.back();
}

void SettingsStore::writeInteger(const QString& key, const QString& name, qint32 data) {
    Value& v = slot(key, name);
    v.type = Type::Integer;
    v.integer = data;
}

void SettingsStore::writeText(const QString& key, const QString& name, const QString& data) {
    Value& v = slot(key, name);
    v.type = Type::Text;
    v.text = data;
}

void SettingsStore::writeBinary(const QString& key, const QString& name, const QByteArray& data) {
    Value& v = slot(key, name);
    v.type = Type::Binary;
    v.binary = data;
}

void SettingsStore::clear() {
    keys_.clear();
    index_.clear();
    children_.clear();
}

namespace {

bool acceptableKeyPath(const QString& path) {
    int depth = 1;
    qsizetype partStart = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != QLatin1Char('\\')) continue;
        if (i - partStart > SettingsStore::MaxKeyPartLength) return false;
        if (i < path.size() && ++depth > SettingsStore::MaxKeyDepth) return false;
        partStart = i + 1;
    }
    return true;
}

} // namespace

bool SettingsStore::loadFromData(const QByteArray& data) {
    clear();
    if (parse(data)) return true;
    clear();
    return false;
}

bool SettingsStore::parse(const QByteArray& data) {
    qint64 budget = loadBudget(data.size());
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonValue keys = doc.object().value(QLatin1String("keys"));
    if (!keys.isArray()) return false;
    for (const QJsonValue& kv : keys.toArray()) {
        const QJsonObject ko = kv.toObject();
        const QString path = normalise(ko.value(QLatin1String("path")).toString());
        if (path.isEmpty() || !acceptableKeyPath(path) ||
            !ko.value(QLatin1String("values")).isArray())
            return false;
        const size_t before = keys_.size();
        Key* key = &ensureKey(path);
        // Each new key holds its full path: paths that imply many parents cost more.
        for (size_t i = before; i < keys_.size(); ++i)
            budget -= kKeyCost + keys_[i].path.size();
        if (budget < 0) return false;
        for (const QJsonValue& vv : ko.value(QLatin1String("values")).toArray()) {
            const QJsonObject vo = vv.toObject();
            const QJsonValue nameValue = vo.value(QLatin1String("name"));
            const QString type = vo.value(QLatin1String("type")).toString();
            const QJsonValue d = vo.value(QLatin1String("data"));
            if (!nameValue.isString()) return false;
            const QString name = nameValue.toString();
            if (type == QLatin1String("integer")) {
                const double n = d.toDouble(-1e12);
                if (!d.isDouble() || n < -2147483648.0 || n > 4294967295.0) return false;
                // DWORDs written above 2^31 keep their bit pattern.
                slotIn(*key, name, Type::Integer).integer = qint32(quint32(qint64(n)));
            } else if (type == QLatin1String("text")) {
                if (!d.isString()) return false;
                slotIn(*key, name, Type::Text).text = d.toString();
            } else if (type == QLatin1String("binary")) {
                if (!d.isString()) return false;
                const auto decoded = QByteArray::fromBase64Encoding(
                    d.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
                if (!decoded) return false;
                slotIn(*key, name, Type::Binary).binary = *decoded;
            } else {
                return false;
            }
        }
    }
    return true;
}

bool SettingsStore::load(QString* movedTo) {
    clear();
    loadWarning_.clear();
    resetNotice_.clear();
    const QString keptAs = QStringLiteral(
        "\nDie Einstellungen gelten für diese Sitzung; beim Beenden wird die Datei nicht "
        "überschrieben.");
    const QFileInfo info(filePath_);
    if (!info.exists() && !info.isSymLink()) return true;
    QByteArray data;
    QString readError;
    if (!readRegularFile(filePath_, kMaxFileSize, &data, &readError)) {
        loadWarning_ = QStringLiteral("Die Einstellungsdatei \"") + filePath_ +
                       QStringLiteral("\" kann nicht gelesen werden (") + readError +
                       QStringLiteral(").") + keptAs;
        return false;
    }
    if (data.size() > kMaxFileSize) data.clear();
    if (loadFromData(data)) {
        if (!(info.permissions() & QFileDevice::WriteOwner))
            loadWarning_ = QStringLiteral("Die Einstellungsdatei \"") + filePath_ +
                           QStringLiteral("\" ist schreibgeschützt.") + keptAs;
        return true;
    }
    clear();
    const QString aside = filePath_ + QStringLiteral(".corrupt-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile::remove(aside);
    if (QFile::rename(filePath_, aside)) {
        if (movedTo) *movedTo = aside;
        resetNotice_ = QStringLiteral("Die Einstellungsdatei \"%1\" war beschädigt; die "
                                      "Einstellungen wurden zurückgesetzt. Die alte Datei liegt "
                                      "jetzt unter \"%2\".")
                           .arg(filePath_, aside);
    } else {
        loadWarning_ = QStringLiteral("Die Einstellungsdatei \"") + filePath_ +
                       QStringLiteral("\" ist beschädigt und kann nicht beiseitegelegt werden.") +
                       keptAs;
    }
    return true;
}

QByteArray SettingsStore::toData() const {
    QJsonArray keys;
    // A written key takes more bytes than the load budget charges for it; the keys left out
    // stay within the allowance, so that the file always loads again.
    qint64 leftOut = 0;
    for (size_t i = 0; i < keys_.size(); ++i) {
        const Key& k = keys_[i];
        const qint64 cost = kKeyCost + k.path.size();
        if (k.values.empty() && i + 1 < keys_.size() && isCreatedBy(k.path, keys_[i + 1].path) &&
            leftOut + cost <= kImpliedAllowance) {
            leftOut += cost;
            continue;
        }
        QJsonArray values;
        for (const Value& v : k.values) {
            QJsonObject o;
            o.insert(QLatin1String("name"), v.name);
            o.insert(QLatin1String("type"), typeName(v.type));
            switch (v.type) {
            case Type::Integer:
                o.insert(QLatin1String("data"), qint64(v.integer));
                break;
            case Type::Text:
                o.insert(QLatin1String("data"), v.text);
                break;
            case Type::Binary:
                o.insert(QLatin1String("data"), QString::fromLatin1(v.binary.toBase64()));
                break;
            }
            values.append(o);
        }
        QJsonObject ko;
        ko.insert(QLatin1String("path"), k.path);
        ko.insert(QLatin1String("values"), values);
        keys.append(ko);
    }
    QJsonObject root;
    root.insert(QLatin1String("format"), 1);
    root.insert(QLatin1String("keys"), keys);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool SettingsStore::save(QString* error) const {
    if (!mayWrite()) {
        qCInfo(lcSettings) << "not saving over" << filePath_;
        if (error) *error = loadWarning_;
        return false;
    }
    QString reason;
    if (!atomicfile::write(filePath_, toData(), &reason, {.mode = 0600})) {
        qCWarning(lcSettings) << "saving" << filePath_ << "failed:" << reason;
        if (error) *error = reason;
        return false;
    }
    return true;
}

QString SettingsStore::saveFailedText(const QString& file, const QString& reason) {
    return QStringLiteral("Die Einstellungen konnten nicht in \"%1\" gespeichert werden: %2.")
        .arg(file, reason);
}
