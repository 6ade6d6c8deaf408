#include "mail/id_message_id.h"

#include <chrono>
#include <cstdint>
#include <iterator>
#include <sys/random.h>
#include <unistd.h>

#include "mail/idn_address.h"

namespace sendrix::mail {

namespace {

constexpr const char* kFallbackDomain = "sendrix.invalid";

std::string base36(uint64_t value) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    // 13 digits hold any 64-bit value; filled from the last one.
    char digits[13];
    char* first = std::end(digits);
    do {
        *--first = kDigits[value % 36];
        value /= 36;
    } while (value != 0);
    return std::string(first, std::end(digits));
}

// The system's random bytes, fetched for 32 identifiers at a time: a list
// send makes one identifier per message. Each thread draws from its own,
// and a forked child (another `process`) never from its parent's.
uint64_t randomBits(pid_t process) {
    thread_local uint64_t pool[32];
    thread_local size_t used = std::size(pool);
    thread_local pid_t owner = 0;
    if (used == std::size(pool) || owner != process) {
        owner = process;
        auto* bytes = reinterpret_cast<unsigned char*>(pool);
        size_t filled = 0;
        while (filled < sizeof pool) {
            const ssize_t n = ::getrandom(bytes + filled, sizeof pool - filled, 0);
            if (n > 0)
                filled += static_cast<size_t>(n);
            // EINTR: try again. Nothing else can fail for 256 bytes once the
            // system's pool is ready, which it is long before a user sends mail.
        }
        used = 0;
    }
    return pool[used++];
}

// A dot-atom of letters, digits and hyphens with at least one dot: what an
// identifier's right side may hold, and no bare host name.
bool isUsableDomain(std::string_view domain) {
    if (domain.empty() || domain.front() == '.' || domain.back() == '.' ||
        domain.find('.') == std::string_view::npos || domain.find("..") != std::string_view::npos)
        return false;
    for (char c : domain)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '.'))
            return false;
    return true;
}

}  // namespace

std::string MessageIdDomain(std::string_view senderAddress) {
    const size_t at = senderAddress.rfind('@');
    if (at == std::string_view::npos)
        return kFallbackDomain;
    const std::string domain = AsciiDomain(senderAddress.substr(at + 1));
    return isUsableDomain(domain) ? domain : kFallbackDomain;
}

std::string NewMessageId(std::string_view senderAddress) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const pid_t process = ::getpid();
    std::string left = base36(static_cast<uint64_t>(micros)) + "." + base36(static_cast<uint64_t>(process)) +
                       "." + base36(randomBits(process));
    return "<" + left + "@" + MessageIdDomain(senderAddress) + ">";
}

}  // namespace sendrix::mail
