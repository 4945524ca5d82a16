// Takes typed values off the front of a fuzzer's input. Texts are cut at a 0xFF byte, so
// that mutations of one text leave the others in place.
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

    bool empty() const { return p_ == end_; }

    uint8_t byte() { return p_ == end_ ? 0 : *p_++; }

    int number(int max) { return max <= 0 ? 0 : int(byte()) % (max + 1); }

    // Bytes up to the next 0xFF (or the end).
    QByteArray bytes() {
        const uint8_t* start = p_;
        while (p_ != end_ && *p_ != 0xFF)
            ++p_;
        QByteArray out(reinterpret_cast<const char*>(start), qsizetype(p_ - start));
        if (p_ != end_) ++p_;
        return out;
    }

    // A text from UTF-8, or, after a leading 0xFE byte, raw UTF-16 (lone surrogates too).
    QString text() {
        const QByteArray b = bytes();
        if (b.startsWith('\xFE')) {
            const qsizetype n = (b.size() - 1) / 2;
            QString out(n, Qt::Uninitialized);
            for (qsizetype i = 0; i < n; ++i)
                out[i] = QChar(char16_t(uchar(b[1 + 2 * i]) | uchar(b[2 + 2 * i]) << 8));
            return out;
        }
        return QString::fromUtf8(b);
    }

    // Texts up to a text that is a lone 0xFD byte, at most `max`.
    QStringList texts(int max) {
        QStringList out;
        while (!empty() && out.size() < max) {
            if (p_ != end_ && *p_ == 0xFD) {
                ++p_;
                if (p_ != end_ && *p_ == 0xFF) ++p_;
                break;
            }
            out.append(text());
        }
        return out;
    }

    QByteArray rest() {
        QByteArray out(reinterpret_cast<const char*>(p_), qsizetype(end_ - p_));
        p_ = end_;
        return out;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};
