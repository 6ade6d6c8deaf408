#pragma once
// The transport's error tree. Callers tell errors apart by class, so the tree
// itself is part of the interface.
#include <string>

#include "platform/error.h"

namespace sendrix::mail {

class EIdException : public sendrix::Error {
public:
    explicit EIdException(const std::string& message) : sendrix::Error(message) {}
};

// A reply code was not among the allowed ones; the message is the server's
// last reply line.
class EIdProtocolReplyError : public EIdException {
public:
    EIdProtocolReplyError(int replyCode, const std::string& message)
        : EIdException(message), m_replyCode(replyCode) {}
    int ReplyCode() const { return m_replyCode; }

private:
    int m_replyCode;
};

// A socket call failed; ErrorNumber is in Windows Sockets numbering.
class EIdSocketError : public EIdException {
public:
    EIdSocketError(int errorNumber, const std::string& message)
        : EIdException(message), m_errorNumber(errorNumber) {}
    int ErrorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber;
};

#define SENDRIX_ID_ERROR(Name, Base)                                 \
    class Name : public Base {                                       \
    public:                                                          \
        explicit Name(const std::string& message) : Base(message) {} \
    };

SENDRIX_ID_ERROR(EIdSilentException, EIdException)
SENDRIX_ID_ERROR(EIdConnClosedGracefully, EIdSilentException)
SENDRIX_ID_ERROR(EIdAlreadyConnected, EIdException)
SENDRIX_ID_ERROR(EIdInvalidSocket, EIdException)
SENDRIX_ID_ERROR(EIdSocketHandleError, EIdException)
SENDRIX_ID_ERROR(EIdCouldNotBindSocket, EIdSocketHandleError)
SENDRIX_ID_ERROR(EIdTCPConnectionError, EIdException)
SENDRIX_ID_ERROR(EIdNotEnoughDataInBuffer, EIdTCPConnectionError)
SENDRIX_ID_ERROR(EIdNoDataToRead, EIdTCPConnectionError)
SENDRIX_ID_ERROR(EIdStackError, EIdException)
SENDRIX_ID_ERROR(EIdStackInitializationFailed, EIdStackError)
SENDRIX_ID_ERROR(EIdStackCanNotLoadWinsock, EIdException)
// An envelope address holds a character that would end or extend an SMTP
// command (CR, LF, NUL, "<", ">"); nothing of the transaction is sent.
SENDRIX_ID_ERROR(EIdInvalidEnvelopeAddress, EIdException)
// An address has a local part outside ASCII and the server does not offer
// SMTPUTF8 (RFC 6531); nothing of the transaction is sent.
SENDRIX_ID_ERROR(EIdSmtpUtf8NotOffered, EIdInvalidEnvelopeAddress)
// The login that is set is not among those the server offers; no MAIL was
// sent (a send without the login could be refused or relayed unexpectedly).
SENDRIX_ID_ERROR(EIdLoginNotOffered, EIdException)
// Message writer errors.
SENDRIX_ID_ERROR(EIdCanNotCreateMessagePart, EIdException)
SENDRIX_ID_ERROR(EIdTextInvalidCount, EIdException)
// message writer: the clock reports no valid UTC offset.
SENDRIX_ID_ERROR(EIdFailedToRetreiveTimeZoneInfo, EIdException)

#undef SENDRIX_ID_ERROR

}  // namespace sendrix::mail
