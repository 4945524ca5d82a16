#include "folded_prefix.h"

#include <QRandomGenerator>

namespace foldedprefix {

namespace {

constexpr quint64 kPrime = (quint64(1) << 61) - 1;

// a * b modulo 2^61 - 1, for a and b below 2^61 + 8; the result is below that bound too,
// but not always reduced all the way. Equal inputs give equal outputs, which is all the
// tables need, and no comparison per character is made.
quint64 mulMod(quint64 a, quint64 b) {
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return quint64(p & kPrime) + quint64(p >> 61);
}

quint64 fold(quint64 x) {
    return (x & kPrime) + (x >> 61);
}

quint64 base() {
    static const quint64 b =
        0x10001 + QRandomGenerator::system()->generate64() % (kPrime - 0x20002);
    return b;
}

quint64 step(quint64 h, char16_t c, quint64 b) {
    return fold(mulMod(h, b) + quint64(c) + 1);
}

} // namespace

void PrefixHashes::reset(QStringView text) {
    const quint64 b = base();
    hashes_.resize(size_t(text.size()) + 1);
    quint64 h = 0;
    hashes_[0] = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        h = step(h, text[i].unicode(), b);
        hashes_[size_t(i) + 1] = h;
    }
}

quint64 PrefixHashes::hashOf(QStringView text) {
    const quint64 b = base();
    quint64 h = 0;
    for (const QChar c : text)
        h = step(h, c.unicode(), b);
    return h;
}

} // namespace foldedprefix
