#pragma once

#include <QString>
#include <QStringList>

class MediaDevice;

// The lines of an M3U playlist during a copy run: read from the file when it exists,
// "#EXTM3U" when it is empty, one "#EXTINF:" line and the path per copied title,
// written back atomically in UTF-8.
class M3uPlaylist {
public:
    // Reads the file (UTF-8, else Windows-1252); a missing file gives no lines. Either
    // way the buffer starts with "#EXTM3U" when it is empty.
    void load(const QString& fileName);
    // The same from the file's bytes (a playlist read from a share).
    void loadData(const QByteArray& data);

    // Adds a title unless a line already contains "," + display name. Seconds < 0: length
    // unknown ("#EXTINF:,name"). Line breaks in the name become blanks; a path that is
    // not one line or would read as a comment ("#...") is not added. Returns whether it
    // was added.
    bool addEntry(qint64 seconds, const QString& displayName, const QString& path);

    // Writes all lines (LF after each) to the file, replacing it atomically.
    bool save(const QString& fileName, QString* error = nullptr) const;
    // The file's bytes: UTF-8, LF after each line.
    QByteArray data() const;

    const QStringList& lines() const { return lines_; }

private:
    QStringList lines_;
};

// The seconds of a copied title for its playlist line: for MP3, MP2, WAV and MID files the
// device's length (the frame scan's for MP3 when the device reports 3 times the scan or
// more), 0 when the device cannot open the file; -1 for other extensions. Waits for the
// device in a local event loop: not for the GUI thread.
qint64 titleSeconds(const QString& fileName, const QString& extension, MediaDevice& device);
