#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <cstring>

// A string key that carries its hash, so that it is computed once (often on a worker
// thread) and tables built from it do not hash again.
struct HashedKey {
    QString text;
    size_t hash = 0;

    HashedKey() = default;
    explicit HashedKey(QString t) : text(std::move(t)), hash(hashOf(text)) {}

    static size_t hashOf(QStringView s) {
        // 64-bit multiply-xorshift over 8-byte blocks.
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        size_t n = size_t(s.size()) * 2;
        quint64 h = 0x9E3779B97F4A7C15ULL ^ n;
        while (n >= 8) {
            quint64 k;
            std::memcpy(&k, p, 8);
            h = (h ^ k) * 0xFF51AFD7ED558CCDULL;
            h ^= h >> 32;
            p += 8;
            n -= 8;
        }
        quint64 k = 0;
        std::memcpy(&k, p, n);
        h = (h ^ k) * 0xC4CEB9FE1A85EC53ULL;
        h ^= h >> 29;
        return size_t(h);
    }

    bool operator==(const HashedKey& o) const { return hash == o.hash && text == o.text; }
};

inline size_t qHash(const HashedKey& k, size_t seed = 0) noexcept {
    return k.hash ^ seed;
}

// The case-folded form of a text, hashed.
inline HashedKey foldedKey(QStringView s) {
    return HashedKey(s.toString().toCaseFolded());
}
