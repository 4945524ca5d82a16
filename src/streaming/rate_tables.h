#pragma once

#include <QList>

// Sample rates and bit rates the stream offers, with the MPEG versions that allow each
// (mask bit 1 = MPEG-1, bit 2 = MPEG-2). The settings keep indexes into these lists.
namespace RateTables {

struct Entry {
    int value;
    int mask;
};

const QList<Entry>& sampleRates(); // Hz
const QList<Entry>& bitRates();    // kbps

int sampleRateMask(int hz); // 0 when not in the list
int bitRateMask(int kbps);  // 0 when not in the list

// Both in their lists and their masks share a bit.
bool isValidPair(int sampleRateHz, int bitRateKbps);

// 1 (MPEG-1) for the mask-1 rates 32000, 44100, 48000; 0 (MPEG-2) for the others.
int mpegVersion(int sampleRateHz);

// Value at a list index, or fallback when the index is outside the list.
int sampleRateAt(int index, int fallback = 44100);
int bitRateAt(int index, int fallback = 128);
int indexOfSampleRate(int hz); // -1 when absent
int indexOfBitRate(int kbps);  // -1 when absent

} // namespace RateTables
