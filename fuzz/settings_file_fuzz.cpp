// libFuzzer target: the settings file parser. A file that loads is walked through the
// public reads, saved and loaded again: the second save must give the same bytes.
#include "settings_store.h"

#include <cstddef>
#include <cstdint>

namespace {

// Visits every key below `key` through subKeys() and reads each value by its type.
int walk(const SettingsStore& s, const QString& key, int depth) {
    if (depth > SettingsStore::MaxKeyDepth) __builtin_trap();
    int count = 0;
    if (!key.isEmpty()) {
        if (!s.keyExists(key)) __builtin_trap();
        for (const QString& name : s.valueNames(key)) {
            const SettingsStore::Value* v = s.value(key, name);
            if (!v || v->name != name) __builtin_trap();
            bool typed = false;
            switch (v->type) {
            case SettingsStore::Type::Integer:
                typed = s.readInteger(key, name) == v->integer;
                break;
            case SettingsStore::Type::Text:
                typed = s.readText(key, name) == v->text;
                break;
            case SettingsStore::Type::Binary:
                typed = s.readBinary(key, name) == v->binary;
                break;
            }
            if (!typed) __builtin_trap();
            ++count;
        }
    }
    for (const QString& sub : s.subKeys(key))
        count += walk(s, key.isEmpty() ? sub : key + u'\\' + sub, depth + 1);
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    SettingsStore first{QString()};
    if (!first.loadFromData(bytes)) {
        if (!first.subKeys(QString()).isEmpty()) __builtin_trap();
        return 0;
    }
    const int values = walk(first, QString(), 0);
    const QByteArray saved = first.toData();
    SettingsStore second{QString()};
    if (!second.loadFromData(saved)) __builtin_trap();
    if (walk(second, QString(), 0) != values) __builtin_trap();
    if (second.toData() != saved) __builtin_trap();
    return 0;
}
