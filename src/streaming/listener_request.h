#pragma once

#include <QByteArray>
#include <QString>

// What a listener's request says, as far as the server cares: the request line is not
// examined, header names are found as substrings anywhere in the upper-cased text.
struct ListenerRequest {
    bool complete = false;  // the header block ends (CR LF CR LF) within the text
    qsizetype length = 0;   // bytes up to and including the blank line when complete
    QByteArray userAgent;   // null when there is no User-Agent header
    QByteArray icyMetadata; // null when there is no Icy-MetaData header
};

// Parses the bytes received so far on one connection. Pure function of its input, so it can
// be fed anything.
ListenerRequest parseListenerRequest(const QByteArray& received);

// Text from the network made safe for one log line: every control character (C0, DEL, C1)
// becomes U+FFFD, so that no value can break or forge a line.
QString cleanForLog(const QString& text);
