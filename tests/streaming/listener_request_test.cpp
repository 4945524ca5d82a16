#include "listener_request.h"

#include <gtest/gtest.h>

namespace {

using State = ListenerRequest::State;

TEST(ListenerRequest, ReadsTheTwoHeadersAsSubstringsOfTheHeaderBlock) {
    struct Case {
        const char* received;
        State state;
        const char* agent; // nullptr: absent
        const char* meta;  // nullptr: absent
    };
    const Case cases[] = {
        {"GET / HTTP/1.0\r\nUser-Agent:  Player/2.0 \r\nIcy-MetaData: 1\r\n\r\n", State::Complete,
         "Player/2.0", "1"},
        {"GET / HTTP/1.0\r\nicy-metadata:true\r\n\r\n", State::Complete, nullptr, "true"},
        // Present but empty is not absent.
        {"GET / HTTP/1.0\r\nUser-Agent: \t\r\n\r\n", State::Complete, "", nullptr},
        // Found anywhere, even inside another header; the first occurrence counts.
        {"GET / HTTP/1.0\r\nX-Via: user-agent:Proxy\r\nUser-Agent: Real\r\n\r\n", State::Complete,
         "Proxy", nullptr},
        // Headers after the blank line belong to the body, not the request.
        {"GET / HTTP/1.0\r\n\r\nUser-Agent: Late\r\n", State::Complete, nullptr, nullptr},
        // The value keeps its letter case and stops at CR LF, a lone CR stays.
        {"GET /\r\nuser-AGENT:Mixed\rCase\r\n\r\n", State::Complete, "Mixed\rCase", nullptr},
        {"GET / HTTP/1.0\r\nUser-Agent: Player\r\n", State::Incomplete, nullptr, nullptr},
        {"", State::Incomplete, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const ListenerRequest r = parseListenerRequest(c.received, 8192);
        EXPECT_EQ(r.state, c.state) << c.received;
        EXPECT_EQ(r.userAgent.isNull(), c.agent == nullptr) << c.received;
        EXPECT_EQ(r.icyMetadata.isNull(), c.meta == nullptr) << c.received;
        if (c.agent) EXPECT_EQ(r.userAgent, QByteArray(c.agent)) << c.received;
        if (c.meta) EXPECT_EQ(r.icyMetadata, QByteArray(c.meta)) << c.received;
    }
}

TEST(ListenerRequest, TooLongOnlyWithoutABlankLineBeyondTheLimit) {
    const QByteArray head = "GET / HTTP/1.0\r\nUser-Agent: A\r\n";
    const QByteArray filler(100, 'x');
    struct Case {
        QByteArray received;
        State state;
        qsizetype headerSize;
    };
    const Case cases[] = {
        {head + filler, State::Incomplete, 0},                               // exactly the limit
        {head + filler + "y", State::TooLong, 0},                            // one byte over
        {head + "\r\n" + filler + filler, State::Complete, head.size() + 2}, // over, but complete
    };
    const qsizetype limit = head.size() + filler.size();
    for (const Case& c : cases) {
        const ListenerRequest r = parseListenerRequest(c.received, limit);
        EXPECT_EQ(r.state, c.state) << c.received.constData();
        EXPECT_EQ(r.headerSize, c.headerSize) << c.received.constData();
    }
}

} // namespace
