#include "app/mail_settings.h"

#include <algorithm>
#include <climits>

#include "platform/error.h"
#include "platform/profile_file.h"
#include "platform/text_codec.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

// Below 0x20 the XOR only swaps letters within their block of 32, so
// printable ASCII stays printable (only "`" becomes DEL) and no printable
// character turns into NUL, CR or LF.
constexpr unsigned kScrambleKey = 0x1F;

std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        char32_t code = 0;
        pos += std::max<std::size_t>(1, platform::utf8SequenceAt(text, pos, code));
    }
    return count;
}

}  // namespace

std::string ScramblePassword(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t code = 0;
        const std::size_t length = platform::utf8SequenceAt(text, pos, code);
        if (length > 0) {
            // Code points keep their block of 256, so the result is never a
            // surrogate and stays valid UTF-8.
            platform::appendUtf8(out, code ^ kScrambleKey);
            pos += length;
        } else {
            // A byte that is no UTF-8 stands for itself.
            out += static_cast<char>(static_cast<unsigned char>(text[pos]) ^ kScrambleKey);
            ++pos;
        }
    }
    return out;
}

std::string StoredPasswordValue(const std::string& password) {
    if (characterCount(password) > kMaxPasswordLength)
        throw Error("Das Passwort ist länger als 255 Zeichen und wird nicht gespeichert.");
    std::string scrambled = ScramblePassword(password);
    if (scrambled.find_first_of(std::string("\0\r\n", 3)) != std::string::npos)
        throw Error("Das Passwort enthält Steuerzeichen und kann nicht gespeichert werden.");
    return "\"" + scrambled + "\"";
}

int ParseServerPort(const std::string& text) {
    const std::string noNumber = "'" + text + "' ist kein gültiger Integerwert";
    std::string digits(platform::trimBlanks(text));
    if (digits.empty()) throw Error(noNumber);
    bool negative = false;
    std::size_t pos = 0;
    int base = 10;
    if (digits[0] == '+' || digits[0] == '-') {
        negative = digits[0] == '-';
        pos = 1;
    }
    if (digits.size() > pos + 1 && digits[pos] == '0' && (digits[pos + 1] == 'x' || digits[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos >= digits.size()) throw Error(noNumber);
    long long value = 0;
    for (; pos < digits.size(); ++pos) {
        char c = digits[pos];
        int digit = c >= '0' && c <= '9' ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                          : -1;
        if (digit < 0) throw Error(noNumber);
        value = value * base + digit;
        if (value > INT_MAX) throw Error(noNumber);
    }
    if (negative) value = -value;
    // A port the TCP layer cannot carry would silently reach another port.
    if (value < 1 || value > 65535) throw Error("'" + text + "' ist keine gültige Portnummer");
    return static_cast<int>(value);
}

void ReadSmtpAccount(const std::string& mailIni, TMailSettings& settings) {
    using namespace sendrix::platform;
    settings.ServerName = readProfileString(mailIni, "Smtp", "ServerName", kDefaultServerName);
    settings.ServerPort = ParseServerPort(
        readProfileString(mailIni, "Smtp", "ServerPort", std::to_string(kDefaultServerPort)));
    settings.ServerUser = readProfileString(mailIni, "Smtp", "ServerUser", kDefaultServerUser);
    settings.ServerPassword = ScramblePassword(
        readProfileString(mailIni, "Smtp", "ServerPassword", kDefaultStoredPassword));
    settings.SMTPAuthenticationType = readProfileInt(mailIni, "Smtp", "SMTPAuthenticationType", 0);
    int timeout = readProfileInt(mailIni, "Smtp", "Timeout", 0);
    settings.Timeout = timeout >= 1 && timeout <= kMaxTimeoutSeconds ? timeout : 0;
    const int perConnection = readProfileInt(mailIni, "Smtp", "MessagesPerConnection", 1);
    settings.MessagesPerConnection =
        perConnection >= 1 && perConnection <= kMaxMessagesPerConnection ? perConnection : 1;
    const int perMinute = readProfileInt(mailIni, "Smtp", "MessagesPerMinute", 0);
    settings.MessagesPerMinute =
        perMinute >= 1 && perMinute <= kMaxMessagesPerMinute ? perMinute : 0;
}

}  // namespace sendrix::app
