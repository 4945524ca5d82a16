#include "folded_prefix.h"

#include <QRandomGenerator>

namespace foldedprefix {

namespace {

constexpr quint64 kPrime = (quint64(1) << 61) - 1;

quint64 mulMod(quint64 a, quint64 b) {
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    const quint64 folded = quint64(p & kPrime) + quint64(p >> 61);
    return folded >= kPrime ? folded - kPrime : folded;
}

quint64 base() {
    static const quint64 b =
        0x10001 + QRandomGenerator::system()->generate64() % (kPrime - 0x20002);
    return b;
}

quint64 step(quint64 h, char16_t c, quint64 b) {
    const quint64 next = mulMod(h, b) + quint64(c) + 1;
    return next >= kPrime ? next - kPrime : next;
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
