#include "rate_tables.h"

namespace RateTables {

const QList<Entry>& sampleRates() {
    static const QList<Entry> list = {{8000, 2},  {11025, 2}, {12000, 2}, {16000, 2}, {22050, 2},
                                      {24000, 2}, {32000, 1}, {44100, 1}, {48000, 1}};
    return list;
}

const QList<Entry>& bitRates() {
    static const QList<Entry> list = {{8, 2},   {16, 2},  {24, 2},  {32, 3},  {40, 3},  {48, 3},
                                      {56, 3},  {64, 3},  {80, 3},  {96, 3},  {112, 3}, {128, 3},
                                      {144, 2}, {160, 3}, {192, 1}, {224, 1}, {256, 1}, {320, 1}};
    return list;
}

static int maskOf(const QList<Entry>& list, int value) {
    for (const Entry& e : list)
        if (e.value == value) return e.mask;
    return 0;
}

static int indexOf(const QList<Entry>& list, int value) {
    for (int i = 0; i < list.size(); ++i)
        if (list[i].value == value) return i;
    return -1;
}

int sampleRateMask(int hz) {
    return maskOf(sampleRates(), hz);
}
int bitRateMask(int kbps) {
    return maskOf(bitRates(), kbps);
}

bool isValidPair(int sampleRateHz, int bitRateKbps) {
    return (sampleRateMask(sampleRateHz) & bitRateMask(bitRateKbps)) != 0;
}

int mpegVersion(int sampleRateHz) {
    return sampleRateMask(sampleRateHz) == 1 ? 1 : 0;
}

int sampleRateAt(int index, int fallback) {
    return index >= 0 && index < sampleRates().size() ? sampleRates()[index].value : fallback;
}

int bitRateAt(int index, int fallback) {
    return index >= 0 && index < bitRates().size() ? bitRates()[index].value : fallback;
}

int indexOfSampleRate(int hz) {
    return indexOf(sampleRates(), hz);
}
int indexOfBitRate(int kbps) {
    return indexOf(bitRates(), kbps);
}

} // namespace RateTables
