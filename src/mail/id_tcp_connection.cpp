#include "mail/id_tcp_connection.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

#include "mail/id_exception.h"
#include "mail/id_reply_reader.h"
#include "mail/socket_error_map.h"
#include "platform/text_trim.h"
#include "platform/visible_text.h"

namespace sendrix::mail {

IdTimeouts IdTimeouts::FromSetting(int seconds) {
    IdTimeouts timeouts;
    if (seconds >= 1 && seconds <= 3600) {
        timeouts.connectMs = seconds * 1000;
        timeouts.replyMs = seconds * 1000;
        // The replies to "Data" and "." never get less time than a command.
        timeouts.dataReplyMs = std::max(timeouts.dataReplyMs, timeouts.replyMs);
        timeouts.endOfDataReplyMs = std::max(timeouts.endOfDataReplyMs, timeouts.replyMs);
        timeouts.sendStallMs = seconds * 1000;
    }
    return timeouts;
}

TIdTCPConnection::TIdTCPConnection() = default;

TIdTCPConnection::~TIdTCPConnection() {
    DropConnection();
}

void TIdTCPConnection::SetRecvBufferSize(int size) {
    m_recvBufferSize = std::max(1, size);
}

void TIdTCPConnection::SetSendBufferSize(int size) {
    m_sendBufferSize = std::max(1, size);
}

std::string TIdTCPConnection::LastReplyLine() const {
    return m_replyLines.empty() ? std::string() : m_replyLines.back();
}

void TIdTCPConnection::ResetState() {
    m_socket.Reset(true);
    m_tls.reset();
    m_tlsWant = TlsWant::Nothing;
    m_pendingInput.clear();
    m_output.clear();
    m_peerClosed = false;
}

bool TIdTCPConnection::IsOpen() {
    CheckClosed(false, false);
    return m_socket.SocketOpen();
}

void TIdTCPConnection::Close() {
    std::exception_ptr sendError;
    if (m_socket.SocketOpen() && !m_output.empty()) {
        try {
            FlushOutput();
        } catch (const EIdConnClosedGracefully&) {
            // The peer is gone; what was left for it is lost with it.
        } catch (...) {
            sendError = std::current_exception();
        }
    }
    DropConnection();
    if (sendError)
        std::rethrow_exception(sendError);
}

void TIdTCPConnection::DropConnection() {
    m_output.clear();
    if (!m_socket.SocketOpen()) {
        m_tls.reset();
        return;
    }
    if (m_tls) {
        m_tls->SendCloseNotify();
        m_tls.reset();
    }
    m_socket.ShutdownAndClose();
    m_socket.Reset(true);
    m_peerClosed = true;
}

void TIdTCPConnection::CheckClosed(bool raiseIfClosed, bool ignorePending) {
    if (!m_peerClosed && m_socket.SocketOpen())
        return;
    if (m_socket.SocketOpen())
        DropConnection();
    if (raiseIfClosed && (m_pendingInput.empty() || ignorePending))
        throw EIdConnClosedGracefully("Die Verbindung wurde erfolgreich geschlossen.");
}

void TIdTCPConnection::raiseTimeout() {
    DropConnection();
    TIdStack::RaiseSocketError(kWsaETimedOut);
}

void TIdTCPConnection::refuseEarlyReply() {
    if (m_pendingInput.empty() && m_socket.SocketOpen() && !m_peerClosed)
        FillInput(false, 0);
    if (m_pendingInput.empty())
        return;
    // Bytes that are there before the command was sent answer something
    // else (a doubled reply, one sent ahead); taking them as this command's
    // reply could report a refused message as delivered.
    const std::string early = platform::trimControl(m_pendingInput.substr(0, m_pendingInput.find('\n')));
    m_replyLines = {early};
    m_replyCode = replyCodeOfLine(early);
    if (m_replyCode == 421)
        RaiseReplyError();  // the server is closing: its own words say why
    throw EIdProtocolReplyError(0, "Der Server hat geantwortet, bevor der Befehl gesendet war: \"" +
                                       platform::visibleText(early) + "\"");
}

int TIdTCPConnection::SendCommand(const std::string& command, int expected, int timeoutMs) {
    refuseEarlyReply();
    WriteLine(command);
    if (expected == -1)
        return ReadReply({}, timeoutMs);
    return ReadReply({expected}, timeoutMs);
}

int TIdTCPConnection::ReadReply(const std::vector<int>& allowed, int timeoutMs) {
    m_replyLines.clear();
    // The command must be on the wire before its reply is awaited, even when
    // bytes of the reply are already pending.
    FlushOutput();
    m_replyDeadline =
        SteadyClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? m_timeouts.replyMs : timeoutMs);
    IdReplyReader reader;
    try {
        while (!reader.AddLine(ReadNonEmptyLine())) {}
    } catch (...) {
        m_replyDeadline.reset();
        m_replyLines = reader.TakeLines();
        throw;
    }
    m_replyDeadline.reset();
    m_replyCode = reader.Code();
    m_replyLines = reader.TakeLines();
    // A line that is no reply ("250Ok") and 421 (the service is closing the
    // connection) end the dialogue whatever was asked, with the server's
    // own line as the message.
    if (!wellFormedReplyLine(m_replyLines.back()) || m_replyCode == 421)
        RaiseReplyError();
    return CheckReply(m_replyCode, allowed);
}

int TIdTCPConnection::CheckReply(int code, const std::vector<int>& allowed) {
    if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), code) == allowed.end())
        RaiseReplyError();
    return code;
}

void TIdTCPConnection::RaiseReplyError() {
    throw EIdProtocolReplyError(m_replyCode, platform::visibleText(LastReplyLine()));
}

std::string TIdTCPConnection::ReadNonEmptyLine() {
    const auto control = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    for (;;) {
        std::string line = ReadLine({}, kReplyDeadline);
        // Most lines have nothing to trim: they are kept, not copied.
        if (!line.empty() && !control(line.front()) && !control(line.back()))
            return line;
        line = platform::trimControl(line);
        if (!line.empty())
            return line;
    }
}

std::string TIdTCPConnection::ReadLine(std::string_view terminator, int timeoutMs) {
    const bool defaultTerminator = terminator.empty();
    if (defaultTerminator)
        terminator = "\n";
    const bool untilReplyDeadline = timeoutMs < 0;
    const auto deadline = untilReplyDeadline && m_replyDeadline
                              ? *m_replyDeadline
                              : SteadyClock::now() + std::chrono::milliseconds(
                                                         untilReplyDeadline ? m_timeouts.replyMs : timeoutMs);

    // Bytes before `searchFrom` are known to hold no terminator, so a line
    // arriving in many small pieces is not searched again from its start.
    size_t searchFrom = 0;
    size_t found = std::string::npos;
    for (;;) {
        if (!m_pendingInput.empty()) {
            found = m_pendingInput.find(terminator, searchFrom);
            if (found != std::string::npos)
                break;
            searchFrom = m_pendingInput.size() >= terminator.size()
                             ? m_pendingInput.size() - terminator.size() + 1
                             : 0;
            if (m_pendingInput.size() > kMaxReplyLineLength + terminator.size())
                raiseOverlongLine();
        }
        CheckClosed(true, true);
        // Rounded up, so that the wait never ends before the deadline.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0) {
            if (untilReplyDeadline)
                raiseTimeout();
            return {};
        }
        FillInput(true, int(left.count()));
    }
    // A line that arrived whole within one receive is held to the same cap.
    size_t length = found;
    if (defaultTerminator && length > 0 && m_pendingInput[length - 1] == '\r')
        --length;
    if (length > kMaxReplyLineLength)
        raiseOverlongLine();
    std::string line = TakeInput(found + terminator.size());
    line.resize(line.size() - terminator.size());
    if (defaultTerminator && !line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void TIdTCPConnection::raiseOverlongLine() {
    throw EIdProtocolReplyError(0, "Der Server hat eine Zeile von mehr als " +
                                       std::to_string(kMaxReplyLineLength) + " Zeichen gesendet.");
}

std::string TIdTCPConnection::TakeInput(size_t count) {
    if (count > m_pendingInput.size())
        throw EIdNotEnoughDataInBuffer("Nicht genügend Daten im Puffer.");
    std::string taken = m_pendingInput.substr(0, count);
    m_pendingInput.erase(0, count);
    return taken;
}

size_t TIdTCPConnection::FillInput(bool raiseIfClosed, int timeoutMs) {
    CheckClosed(raiseIfClosed, false);
    if (!IsOpen())
        return 0;
    // A look without waiting (for an early reply) leaves the gathered bytes
    // gathered: the message text would go without its final "." and the
    // "." then wait for the peer's delayed acknowledgement (Nagle's rule),
    // some 40 ms per message.
    if (timeoutMs != 0)
        FlushOutput();
    m_receiveArea.resize(size_t(m_recvBufferSize));
    const auto wouldBlock = [] { return errno == EAGAIN || errno == EWOULDBLOCK; };
    ssize_t n = -1;
    // Bytes TLS has already decrypted are not in the socket any more.
    if (m_tls && m_tls->HasPending()) {
        n = receiveSome(m_receiveArea.data(), m_receiveArea.size());
    } else {
        // A reply is mostly there by the time it is awaited (the peer ran
        // while this side was sending): a wait receives first and asks the
        // socket to wait only when nothing has come, a system call fewer.
        errno = EAGAIN;
        if (timeoutMs != 0)
            n = receiveSome(m_receiveArea.data(), m_receiveArea.size());
        if (n < 0 && wouldBlock()) {
            const bool forWrite = m_tls && m_tlsWant == TlsWant::Write;
            int ready = forWrite ? m_socket.WaitWritable(timeoutMs) : m_socket.WaitReadable(timeoutMs);
            if (ready < 0)
                TIdStack::RaiseSocketError(TIdStack::LastErrorNumber());
            if (ready == 0)
                return 0;
            n = receiveSome(m_receiveArea.data(), m_receiveArea.size());
        }
    }
    // Part of a TLS record, or a wake-up without data: nothing came yet.
    if (n < 0 && wouldBlock())
        return 0;
    m_peerClosed = n == 0;
    if (n < 0) {
        int number = TIdStack::LastErrorNumber();
        if (number != kWsaEShutdown)
            raiseReceiveError(number);
        n = 0;
        if (m_socket.SocketOpen())
            DropConnection();
        if (m_pendingInput.empty())
            TIdStack::RaiseSocketError(number);
    }
    m_pendingInput.append(m_receiveArea.data(), size_t(n));
    CheckClosed(raiseIfClosed, false);
    return size_t(n);
}

void TIdTCPConnection::raiseReceiveError(int errorNumber) {
    // A reset connection is dead: closing it here keeps a later "Quit" from
    // replacing the reset with a second, less telling error.
    if (errorNumber == kWsaEConnReset)
        DropConnection();
    TIdStack::RaiseSocketError(errorNumber);
}

void TIdTCPConnection::WriteText(std::string_view text) {
    if (!text.empty())
        WriteBytes(text.data(), long(text.size()));
}

void TIdTCPConnection::WriteLine(std::string_view text) {
    // Line and line end in one piece: a flush never falls between them.
    collect(text, "\r\n");
}

void TIdTCPConnection::WriteLines(const std::vector<std::string>& lines) {
    for (const auto& line : lines)
        WriteLine(line);
}

void TIdTCPConnection::WriteBytes(const char* data, long length) {
    if (length > 0)
        collect(std::string_view(data, size_t(length)));
}

void TIdTCPConnection::collect(std::string_view text, std::string_view end) {
    CheckClosed(true, true);
    m_output.append(text).append(end);
    if (m_output.size() >= size_t(m_sendBufferSize))
        FlushOutput();
}

void TIdTCPConnection::WriteFromStream(int fd) {
    struct stat info {};
    if (lseek(fd, 0, SEEK_SET) < 0 || fstat(fd, &info) != 0)
        throw EIdNoDataToRead("Keine Daten für den Lesezugriff.");
    off_t remaining = info.st_size;
    std::vector<char> chunk(static_cast<size_t>(m_sendBufferSize));
    while (remaining > 0) {
        size_t want = size_t(std::min<off_t>(remaining, off_t(chunk.size())));
        ssize_t n;
        do {
            n = ::read(fd, chunk.data(), want);
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            throw EIdNoDataToRead("Keine Daten für den Lesezugriff.");
        WriteBytes(chunk.data(), long(n));
        remaining -= n;
    }
}

void TIdTCPConnection::raiseSendError(int errorNumber) {
    // What could not be sent is dropped: a later Close must not try again.
    m_output.clear();
    if (errorNumber == kWsaEShutdown || errorNumber == kWsaEConnReset)
        DropConnection();
    TIdStack::RaiseSocketError(errorNumber);
}

void TIdTCPConnection::FlushOutput() {
    size_t sent = 0;
    while (sent < m_output.size()) {
        CheckClosed(true, true);
        ssize_t n = sendSome(m_output.data() + sent, m_output.size() - sent);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The peer is not taking bytes; wait for room, but not forever.
            // (TLS may first need to read, e.g. a key update.)
            const bool forRead = m_tls && m_tlsWant == TlsWant::Read;
            int ready = forRead ? m_socket.WaitReadable(m_timeouts.sendStallMs)
                                : m_socket.WaitWritable(m_timeouts.sendStallMs);
            if (ready == 0)
                raiseTimeout();
            if (ready < 0)
                raiseSendError(TIdStack::LastErrorNumber());
            continue;
        }
        if (n < 0)
            raiseSendError(TIdStack::LastErrorNumber());
        sent += size_t(n);
    }
    m_output.clear();
}

bool TIdTCPConnection::InputWaiting() {
    if (!m_pendingInput.empty() || m_peerClosed || (m_tls && m_tls->HasPending()))
        return true;
    return m_socket.SocketOpen() && m_socket.WaitReadable(0) != 0;
}

ssize_t TIdTCPConnection::receiveSome(char* buffer, size_t size) {
    if (!m_tls)
        return m_socket.Receive(buffer, size);
    try {
        ssize_t n = m_tls->Read(buffer, size, m_tlsWant);
        if (n < 0 && m_tlsWant != TlsWant::Nothing)
            errno = EAGAIN;
        return n;
    } catch (const EIdTlsError&) {
        DropConnection();
        throw;
    }
}

ssize_t TIdTCPConnection::sendSome(const char* data, size_t size) {
    if (!m_tls)
        return m_socket.Send(data, size);
    try {
        ssize_t n = m_tls->Write(data, size, m_tlsWant);
        if (n < 0 && m_tlsWant != TlsWant::Nothing)
            errno = EAGAIN;
        return n;
    } catch (const EIdTlsError&) {
        m_output.clear();
        DropConnection();
        throw;
    }
}

void TIdTCPConnection::StartTls(TlsClientContext& context, const std::string& host,
                                const std::string& pinned) {
    FlushOutput();
    const std::string where = host + ":" + std::to_string(m_socket.RemotePort());
    try {
        m_tls = std::make_unique<TlsSession>(context, m_socket.SocketHandle(), host, where);
        // The handshake has the connect limit: it is part of getting through.
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(m_timeouts.connectMs);
        TlsWant want = TlsWant::Nothing;
        while (!m_tls->HandshakeStep(want)) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
            if (left.count() <= 0)
                raiseTimeout();
            int ready = want == TlsWant::Write ? m_socket.WaitWritable(int(left.count()))
                                               : m_socket.WaitReadable(int(left.count()));
            if (ready == 0)
                raiseTimeout();
            if (ready < 0)
                TIdStack::RaiseSocketError(TIdStack::LastErrorNumber());
        }
        m_tls->CheckPeer(normalizeFingerprint(pinned));
    } catch (...) {
        DropConnection();
        throw;
    }
}

}  // namespace sendrix::mail
