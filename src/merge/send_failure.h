#pragma once
// How the send run reads a failure: whether it concerns one recipient, is
// temporary (worth another try later) or hits every recipient, and the
// second line of its error text, which names the server or the recipient
// with a hint at the common causes.
#include <exception>
#include <string>

namespace sendrix::merge {

enum class FailureKind {
    Recipient,  // this row's message was refused; the next row may go
    Temporary,  // 421, 450, 451, 452, 454: the same row may go later
    Run,        // would hit every row: the run stops
};

// True for the replies a server gives when it wants to be asked again later.
bool isTemporaryReply(int code);

// `inTransaction`: the error came from the mail transaction (MAIL, RCPT,
// DATA, the final "."), after the greeting and the login. A 5xx reply there
// and an invalid envelope address concern the recipient; a temporary reply
// is temporary wherever it comes; everything else (socket errors, 5xx to
// the greeting, EHLO or the login, file errors) stops the run.
FailureKind classifyFailure(const std::exception& error, bool inTransaction);

// The server's reply (or the error's text) on one line, for the protocol,
// the grid and the result file.
std::string failureReply(const std::exception& error);

// The second line of the error text: "Server <host>, Port <port>: <hint>"
// for errors of the connection and the login, "Empfänger <address>: <hint>"
// for a refused recipient; empty for errors outside the transport (the
// archive, the log), whose texts name their file.
std::string failureContext(const std::exception& error, FailureKind kind, bool inLogin,
                           const std::string& host, int port, const std::string& address);

}  // namespace sendrix::merge
