#pragma once

#include <QByteArray>
#include <QByteArrayView>

// What a listener's request says, read from the bytes received so far. Only the two
// headers the server uses are looked at; the request line is not examined.
struct ListenerRequest {
    enum class State {
        Incomplete, // no blank line yet: wait for more
        Complete,   // the header block ends within the bytes
        TooLong,    // more than the limit arrived without a blank line
    };
    State state = State::Incomplete;
    qsizetype headerSize = 0; // the header block with its blank line, when complete
    QByteArray userAgent;     // null when the request has no User-Agent header
    QByteArray icyMetadata;   // null when it has no Icy-MetaData header
};

// Header names are found as substrings anywhere in the upper-cased header block; a
// value runs to the next CR LF and is trimmed of blanks and control characters.
ListenerRequest parseListenerRequest(QByteArrayView received, qsizetype maxBytes);
