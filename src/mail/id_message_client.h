#pragma once
// A TCP client that can write a whole Internet message through its
// connection (the message writer with this connection as its target).
#include "mail/id_tcp_client.h"
#include "mail/wire_line_cache.h"

namespace sendrix::platform {
class Clock;
}

namespace sendrix::mail {

class TIdMessage;

class TIdMessageClient : public TIdTCPClient {
public:
    TIdMessageClient() = default;

    // Writes the message text (header lines, empty line, body) through this
    // connection. Precondition: open, after the server's 354.
    virtual void WriteMessage(TIdMessage& message);
    // The same text into another target (a file), with this client's clock.
    void WriteMessageTo(IdWriteTarget& target, TIdMessage& message);

    // The clock for the "Date" header; the system clock unless set. The
    // clock must outlive the client.
    void SetClock(const platform::Clock* clock) { m_clock = clock; }

private:
    const platform::Clock* m_clock = nullptr;
    // The body lines of the messages written so far: a list send writes
    // the same lines into every message.
    WireLineCache m_wireLines;
};

}  // namespace sendrix::mail
