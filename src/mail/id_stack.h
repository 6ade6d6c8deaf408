#pragma once
// The process-wide socket layer (TIdStack) and the base of every object that
// uses it (TIdComponent): the first live component creates the stack, the
// last one destroys it.
#include <initializer_list>
#include <string>
#include <string_view>

namespace sendrix::mail {

class TIdStack {
public:
    TIdStack();
    TIdStack(const TIdStack&) = delete;
    TIdStack& operator=(const TIdStack&) = delete;

    // The live stack; only valid while a TIdComponent exists.
    static TIdStack& Instance();

    // "LOCALHOST" in any case gives "127.0.0.1"; a dotted quad is returned
    // as it is; anything else is looked up (IPv4, first address; a name
    // outside ASCII by its A-label). A failed
    // lookup throws EIdSocketError with a lookup number (socket_error_map.h).
    std::string ResolveAddress(const std::string& host) const;

    // Four parts cut at the first three "."; each 0..255 in decimal digits.
    static bool IsDottedQuad(std::string_view text);

    // The local host name (up to the first NUL of a 250-byte buffer);
    // "localhost" when the system reports none.
    std::string LocalHostName() const;

    // The host's fully qualified name: its canonical name as the resolver
    // gives it for LocalHostName(), when that holds a dot; otherwise "".
    std::string FullyQualifiedHostName() const;

    // The German text of a Windows Sockets error number; empty for numbers
    // without one.
    static std::string SocketErrorText(int errorNumber);

    // False when `result` is not -1; otherwise true when the mapped errno
    // is among `tolerated`, and else throws EIdSocketError for it.
    bool CheckSocketResult(int result, std::initializer_list<int> tolerated = {}) const;

    // Throws EIdSocketError "Socket-Fehler # %d\r\n%s" for the number.
    [[noreturn]] static void RaiseSocketError(int errorNumber);

    // The mapped number of the current errno.
    static int LastErrorNumber();
};

// Parses a dotted quad into an IPv4 address in network byte order.
// Precondition: TIdStack::IsDottedQuad(text).
unsigned int dottedQuadToAddress(std::string_view text);
// The dotted quad of an IPv4 address in network byte order.
std::string addressToDottedQuad(unsigned int address);

// Counts the live components; holds the stack while any exists.
class TIdComponent {
public:
    TIdComponent();
    virtual ~TIdComponent();
    TIdComponent(const TIdComponent&) = delete;
    TIdComponent& operator=(const TIdComponent&) = delete;

    TIdStack& Stack() const { return TIdStack::Instance(); }
};

}  // namespace sendrix::mail
