#pragma once
// One line-oriented TCP connection: its socket, the received bytes not yet
// consumed, line and reply reading, writing and closing.
//
// Writes are gathered: the bytes of WriteText/WriteLine/WriteBytes/... are
// collected and handed to the socket when a reply is about to be awaited,
// when SendBufferSize bytes have collected, and on Close; the bytes on the
// wire are the same as with one send per line, without each small segment
// waiting for the peer's delayed acknowledgement of the one before.
//
// With StartTls the same reading, gathering and waiting runs over TLS; the
// bytes above it do not change.
//
// Every wait has a time limit (IdTimeouts); running out of one raises
// EIdSocketError 10060 "Zeitüberschreitung bei Verbindung." and closes the
// connection.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/id_socket_handle.h"
#include "mail/id_stack.h"
#include "mail/id_write_target.h"
#include "mail/tls_session.h"

namespace sendrix::mail {

// Time limits in milliseconds. A reply's limit is a deadline for the whole
// reply, counted from the moment the command has been handed to the socket,
// so a server dripping one byte at a time cannot stretch it.
struct IdTimeouts {
    int connectMs = 30'000;
    int replyMs = 60'000;            // the greeting and every other reply
    int dataReplyMs = 120'000;       // the reply to "Data"
    int endOfDataReplyMs = 600'000;  // the reply to the final "."; never
                                     // shorter: giving up there makes a mass
                                     // mailing send the message twice
    int sendStallMs = 180'000;       // without progress while sending

    // From "Mail.ini" [Smtp] "Timeout" (whole seconds): 1..3600 replaces
    // the connect, reply and send-stall limits (the replies to "Data" and
    // "." keep at least that much); any other value gives the defaults.
    static IdTimeouts FromSetting(int seconds);
};

// Longest reply line accepted; a hostile server must not fill the memory.
constexpr size_t kMaxReplyLineLength = 65'536;

class TIdTCPConnection : public TIdComponent, public IdWriteTarget {
public:
    // Passed as a time-out: wait until the current reply's deadline and
    // raise 10060 when it passes.
    static constexpr int kReplyDeadline = -1;

    TIdTCPConnection();
    ~TIdTCPConnection() override;

    TIdSocketHandle& Binding() { return m_socket; }
    const std::string& PendingInput() const { return m_pendingInput; }
    const std::vector<char>& ReceiveArea() const { return m_receiveArea; }
    int RecvBufferSize() const { return m_recvBufferSize; }
    void SetRecvBufferSize(int size);
    int SendBufferSize() const { return m_sendBufferSize; }
    void SetSendBufferSize(int size);
    bool PeerClosed() const { return m_peerClosed; }
    const std::vector<std::string>& ReplyLines() const { return m_replyLines; }
    int ReplyCode() const { return m_replyCode; }
    // The last reply line, empty when there is none.
    std::string LastReplyLine() const;
    const IdTimeouts& Timeouts() const { return m_timeouts; }
    void SetTimeouts(const IdTimeouts& timeouts) { m_timeouts = timeouts; }

    // Notices a peer's closing first (CheckClosed without raising), then
    // tells whether a socket is allocated.
    virtual bool IsOpen();
    // Hands collected bytes to the socket, then DropConnection. A failed
    // send is raised after the socket is closed.
    virtual void Close();

    // Writes `command` as a line and reads the reply; `expected` -1 takes
    // any code, else another code raises EIdProtocolReplyError. `timeoutMs`
    // kReplyDeadline means Timeouts().replyMs. Bytes received before the
    // command is written raise EIdProtocolReplyError without writing it
    // (the server's own text for a 421).
    virtual int SendCommand(const std::string& command, int expected, int timeoutMs = kReplyDeadline);
    // Reads one whole reply into ReplyLines/ReplyCode and runs CheckReply
    // (empty `allowed`: any code). Throws EIdProtocolReplyError beyond
    // kMaxReplyLines lines or kMaxReplyLineLength characters in a line, for
    // a last line that is no reply line (wellFormedReplyLine) and for 421,
    // whatever is allowed.
    virtual int ReadReply(const std::vector<int>& allowed, int timeoutMs = kReplyDeadline);
    // Raises RaiseReplyError when `allowed` is not empty and lacks `code`.
    virtual int CheckReply(int code, const std::vector<int>& allowed);
    // Throws EIdProtocolReplyError(ReplyCode, LastReplyLine as visibleText).
    [[noreturn]] virtual void RaiseReplyError();

    // One line up to `terminator` (LF when empty; then one CR before it is
    // removed too). A timeout >= 0 bounds the whole line and gives "" when it
    // runs out; kReplyDeadline waits until the reply's deadline and raises.
    // Throws EIdConnClosedGracefully when the peer closed before the end.
    virtual std::string ReadLine(std::string_view terminator = {}, int timeoutMs = kReplyDeadline);
    // The next line that is not empty after trimming characters 0..32.
    std::string ReadNonEmptyLine();

    // IdWriteTarget. Throw EIdConnClosedGracefully when the connection is
    // known to be closed; a failed send raises EIdSocketError at the latest
    // when the next reply is awaited.
    void WriteText(std::string_view text) override;
    void WriteLine(std::string_view text) override;
    void WriteLines(const std::vector<std::string>& lines) override;
    // The whole open file from its start; EIdNoDataToRead when it yields no
    // bytes before its end.
    void WriteFromStream(int fd) override;
    void WriteBytes(const char* data, long length);

    // Hands every collected byte to the socket now.
    void FlushOutput();
    // Whether something from the peer waits to be read (bytes, its close,
    // a TLS record), looked at without waiting and without reading.
    bool InputWaiting();

    // Starts TLS on the open connection: the handshake within
    // Timeouts().connectMs, then the certificate check (TlsSession::CheckPeer
    // with `pinned`, normalized). `host` is the configured server name.
    // Precondition: nothing collected or pending. On failure the connection
    // is dropped and EIdTlsError, EIdCertificateError or EIdSocketError
    // 10060 is raised.
    void StartTls(TlsClientContext& context, const std::string& host, const std::string& pinned);
    bool TlsActive() const { return m_tls != nullptr; }
    // Whether the TLS session was resumed from an earlier connection.
    bool TlsResumed() const { return m_tls && m_tls->Resumed(); }

    // The first `count` bytes of PendingInput, removed from it; throws
    // EIdNotEnoughDataInBuffer (removing nothing) when fewer are pending.
    virtual std::string TakeInput(size_t count);
    // Receives at most RecvBufferSize bytes, waiting at most `timeoutMs`
    // (negative: without limit); 0 when nothing came or the connection is
    // closed. Collected output goes to the socket first, unless `timeoutMs`
    // is 0 (a look at what is there).
    virtual size_t FillInput(bool raiseIfClosed, int timeoutMs);
    // When the peer has closed or no socket is allocated: drops the
    // connection; raises EIdConnClosedGracefully when asked to and nothing
    // is pending (or pending bytes are to be ignored).
    virtual void CheckClosed(bool raiseIfClosed, bool ignorePending);
    // Shuts down and closes the socket; collected bytes are discarded.
    virtual void DropConnection();

protected:
    // Forgets socket, pending input, collected output and PeerClosed.
    virtual void ResetState();
    // Drops the connection and raises EIdSocketError 10060.
    [[noreturn]] void raiseTimeout();
    // SendCommand's check that nothing has arrived unasked.
    void refuseEarlyReply();

    TIdSocketHandle m_socket;

private:
    using SteadyClock = std::chrono::steady_clock;
    [[noreturn]] void raiseSendError(int errorNumber);
    [[noreturn]] void raiseReceiveError(int errorNumber);
    [[noreturn]] static void raiseOverlongLine();
    // Adds `text` and `end` to the collected output, handed to the socket
    // once SendBufferSize bytes have collected.
    void collect(std::string_view text, std::string_view end = {});
    // One receive / send over TLS when it is on, else over the socket:
    // bytes, 0 for a closed peer (receive only), or -1 with errno set
    // (EAGAIN: wait; over TLS m_tlsWant says for what).
    ssize_t receiveSome(char* buffer, size_t size);
    ssize_t sendSome(const char* data, size_t size);

    std::string m_pendingInput;
    std::vector<char> m_receiveArea;
    int m_recvBufferSize = 32768;
    int m_sendBufferSize = 32768;
    bool m_peerClosed = false;
    std::vector<std::string> m_replyLines;
    int m_replyCode = 0;
    std::string m_output;  // written, not yet handed to the socket
    IdTimeouts m_timeouts;
    std::optional<SteadyClock::time_point> m_replyDeadline;
    std::unique_ptr<TlsSession> m_tls;
    // What TLS waits for before the last receive or send can progress.
    TlsWant m_tlsWant = TlsWant::Nothing;
};

}  // namespace sendrix::mail
