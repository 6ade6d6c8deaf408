#pragma once
// Socket error numbers: the transport's errors and their German texts are
// keyed by the Windows Sockets numbers (10061 "Verbindung abgelehnt." ...),
// which stored logs and calling programs know. This is the one place where
// the POSIX errno values and name-lookup results are turned into them.
//
// - errno values with a Windows Sockets counterpart get its number:
//   ECONNREFUSED -> 10061, ETIMEDOUT -> 10060, EHOSTUNREACH -> 10065,
//   ECONNRESET -> 10054, EPIPE and ESHUTDOWN -> 10058, EADDRINUSE -> 10048,
//   EAGAIN/EWOULDBLOCK -> 10035, EPERM and EACCES -> 10013, ENFILE and
//   EMFILE -> 10024, ENOMEM and ENOBUFS -> 10055, ... (full table in the .cpp).
// - Any other errno value e becomes 20000 + e: outside every Windows Sockets
//   number, so no wrong text is ever attached, and the errno stays readable.
// - Name-lookup failures (getaddrinfo) get the Windows lookup numbers, which
//   have no text: 11001 host not found (EAI_NONAME), 11002 try again
//   (EAI_AGAIN), 11003 unrecoverable (EAI_FAIL and any other), 11004 no
//   address of the family (EAI_NODATA, EAI_ADDRFAMILY); EAI_SYSTEM maps the
//   errno that comes with it, EAI_MEMORY gives 10055.

namespace sendrix::mail {

constexpr int kWsaEIntr = 10004;
constexpr int kWsaEWouldBlock = 10035;
constexpr int kWsaEAddrInUse = 10048;
constexpr int kWsaEConnReset = 10054;
constexpr int kWsaENotConn = 10057;
constexpr int kWsaEShutdown = 10058;
constexpr int kWsaETimedOut = 10060;
constexpr int kWsaEConnRefused = 10061;
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaTryAgain = 11002;
constexpr int kWsaNoRecovery = 11003;
constexpr int kWsaNoData = 11004;

// The Windows Sockets number for a POSIX errno value.
int winsockErrorFromErrno(int errnoValue);

// The number for a failed getaddrinfo: its result code and, for EAI_SYSTEM,
// the errno that came with it.
int winsockErrorFromLookup(int gaiResult, int errnoValue);

}  // namespace sendrix::mail
