#include "mail/socket_error_map.h"

#include <cerrno>
#include <netdb.h>

namespace sendrix::mail {

int winsockErrorFromErrno(int errnoValue) {
    switch (errnoValue) {
        case EINTR: return 10004;
        case EBADF: return 10009;
        case EPERM:
        case EACCES: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case ENFILE:
        case EMFILE: return 10024;
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EAGAIN: return 10035;
        case EINPROGRESS: return 10036;
        case EALREADY: return 10037;
        case ENOTSOCK: return 10038;
        case EDESTADDRREQ: return 10039;
        case EMSGSIZE: return 10040;
        case EPROTOTYPE: return 10041;
        case ENOPROTOOPT: return 10042;
        case EPROTONOSUPPORT: return 10043;
        case ESOCKTNOSUPPORT: return 10044;
#if EOPNOTSUPP != ENOTSUP
        case ENOTSUP:
#endif
        case EOPNOTSUPP: return 10045;
        case EPFNOSUPPORT: return 10046;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ENETRESET: return 10052;
        case ECONNABORTED: return 10053;
        case ECONNRESET: return 10054;
        case ENOMEM:
        case ENOBUFS: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        // A send on a connection whose sending side is shut down, or whose peer
        // has gone away (EPIPE, reported instead of SIGPIPE).
        case EPIPE:
        case ESHUTDOWN: return 10058;
        case ETOOMANYREFS: return 10059;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        case ELOOP: return 10062;
        case ENAMETOOLONG: return 10063;
        case EHOSTDOWN: return 10064;
        case EHOSTUNREACH: return 10065;
        case ENOTEMPTY: return 10066;
        default: return 20000 + errnoValue;
    }
}

int winsockErrorFromLookup(int gaiResult, int errnoValue) {
    switch (gaiResult) {
        case EAI_NONAME: return kWsaHostNotFound;
        case EAI_AGAIN: return kWsaTryAgain;
#ifdef EAI_NODATA
        case EAI_NODATA: return kWsaNoData;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY: return kWsaNoData;
#endif
        case EAI_MEMORY: return 10055;
        case EAI_SYSTEM: return errnoValue != 0 ? winsockErrorFromErrno(errnoValue) : kWsaNoRecovery;
        default: return kWsaNoRecovery;
    }
}

}  // namespace sendrix::mail
