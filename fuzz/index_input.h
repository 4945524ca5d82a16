// The input of the index file targets: two index files, split at the first NUL byte (the
// second empty when there is none), each read as the loader reads a file.
#pragma once

#include "text_codec.h"

#include <QByteArrayView>
#include <QStringList>

#include <cstddef>
#include <cstdint>

struct IndexInput {
    QStringList newLines;
    QStringList oldLines;
};

inline IndexInput readIndexInput(const uint8_t* data, size_t size) {
    const QByteArrayView all(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = all.indexOf('\0');
    const QByteArrayView first = cut < 0 ? all : all.first(cut);
    const QByteArrayView second = cut < 0 ? QByteArrayView() : all.sliced(cut + 1);
    return {textcodec::decodeIndexLines(first), textcodec::decodeIndexLines(second)};
}
