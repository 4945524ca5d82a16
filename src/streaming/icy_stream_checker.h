#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reads an ICY response as a listener receives it and checks that every byte after the
// header is either a well-formed MPEG audio layer III frame or a metadata block at the
// announced interval. Fed in pieces of any size.
class IcyStreamChecker {
public:
    void feed(const char* data, qsizetype n);
    void feed(const QByteArray& b) { feed(b.constData(), b.size()); }

    bool headerComplete() const { return m_headerDone; }
    QByteArray header() const { return m_header; }
    QByteArray statusLine() const;
    // Header value by name, case ignored; null when absent.
    QByteArray headerValue(const char* name) const;
    int metaInterval() const { return m_metaInt; }

    bool corrupt() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }
    qint64 audioBytes() const { return m_audioBytes; }
    qint64 frames() const { return m_frames; }
    qint64 metaBlocks() const { return m_metaBlocks; }
    qint64 skippedAtStart() const { return m_skipped; }
    // Texts of non-empty metadata blocks, in order.
    QStringList metadataTexts() const { return m_texts; }
    // Frame parameters of the last frame (0 until one is seen).
    int sampleRate() const { return m_lastRate; }

    // Length of the MPEG audio frame whose header starts at p (4 bytes), 0 when invalid.
    static int frameLength(const uchar* p, int* sampleRate = nullptr);

private:
    void audio(const char* p, qsizetype n);
    void parseFrames();
    void fail(const QString& why);

    bool m_headerDone = false;
    QByteArray m_header;
    int m_metaInt = 0;
    qint64 m_untilMeta = 0;
    int m_metaLeft = -1; // bytes of the current metadata block still to come; -1: none
    QByteArray m_meta;
    QByteArray m_audio;
    bool m_synced = false;
    qint64 m_audioBytes = 0;
    qint64 m_frames = 0;
    qint64 m_metaBlocks = 0;
    qint64 m_skipped = 0;
    int m_lastRate = 0;
    QStringList m_texts;
    QString m_error;
};
