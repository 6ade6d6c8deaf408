#include "merge/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/ascii.h"

namespace sendrix::merge {

namespace {

struct Language {
    char decimal = ',';
    char thousands = '.';
    char dateSeparator = '.';
    bool english = false;
};

constexpr const char* kMonthsDe[] = {"Januar", "Februar", "März",      "April",   "Mai",      "Juni",
                                     "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
constexpr const char* kMonthsEn[] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDaysDe[] = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                                   "Donnerstag", "Freitag", "Samstag"};
constexpr const char* kDaysEn[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

enum class Kind { Literal, Digit, Decimal, Comma, Percent, DatePart, AmPm, Text, General };

struct Token {
    Kind kind;
    std::string text;  // literal text, the placeholder, or the date part ("yyyy", "[h]")
};

struct Section {
    std::vector<Token> tokens;
    bool exact = true;  // false: something not rendered exactly
    bool hasDate = false;
    bool hasMinusLiteral = false;
    Language language;
};

bool isDateLetter(char c) {
    c = platform::asciiLower(c);
    return c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 's';
}

// Splits the code at ";" outside quotes, brackets and escapes.
std::vector<std::string_view> splitSections(std::string_view code) {
    std::vector<std::string_view> sections;
    std::size_t from = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '\\')
            ++i;
        else if (!quoted && c == '[') {
            const std::size_t close = code.find(']', i);
            if (close != std::string_view::npos)
                i = close;
        } else if (!quoted && c == ';') {
            sections.push_back(code.substr(from, i - from));
            from = i + 1;
        }
    }
    sections.push_back(code.substr(from));
    return sections;
}

// "[$€-407]", "[$-409]", "[Red]", "[h]", "[<100]" ...
void bracket(std::string_view inner, Section& section) {
    if (inner.starts_with("$")) {
        const std::size_t dash = inner.find('-');
        const std::string_view symbol = inner.substr(1, dash == std::string_view::npos ? inner.npos : dash - 1);
        if (!symbol.empty())
            section.tokens.push_back({Kind::Literal, std::string(symbol)});
        if (dash != std::string_view::npos) {
            const long lcid = std::strtol(std::string(inner.substr(dash + 1)).c_str(), nullptr, 16);
            // Only the low bits name the language; higher ones name calendars
            // and digit shapes this renderer does not draw.
            const long language = lcid & 0x3ff;
            if (lcid > 0xffff || (language != 0x07 && language != 0x09 && language != 0))
                section.exact = false;
            if (language == 0x09) {
                section.language = {'.', ',', '/', true};
            }
        }
        return;
    }
    const std::string lower = platform::asciiLowered(inner);
    if (lower == "h" || lower == "hh" || lower == "m" || lower == "mm" || lower == "s" || lower == "ss") {
        section.tokens.push_back({Kind::DatePart, "[" + lower.substr(0, 1) + "]"});
        section.hasDate = true;
        return;
    }
    if (!inner.empty() && (inner[0] == '<' || inner[0] == '>' || inner[0] == '='))
        section.exact = false;  // conditions choose sections by value
    if (lower.starts_with("dbnum") || lower.starts_with("natnum"))
        section.exact = false;
    // Colours change no text.
}

Section parseSection(std::string_view code) {
    Section section;
    auto literal = [&](std::string text) {
        if (text == "-")
            section.hasMinusLiteral = true;
        if (!section.tokens.empty() && section.tokens.back().kind == Kind::Literal)
            section.tokens.back().text += text;
        else
            section.tokens.push_back({Kind::Literal, std::move(text)});
    };
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        const char lower = platform::asciiLower(c);
        if (c == '"') {
            const std::size_t close = code.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? code.size() : close;
            literal(std::string(code.substr(i + 1, end - i - 1)));
            i = end;
        } else if (c == '\\') {
            if (i + 1 < code.size()) {
                // One character escaped, which may be a UTF-8 sequence.
                std::size_t n = 1;
                while (i + 1 + n < code.size() && (static_cast<unsigned char>(code[i + 1 + n]) & 0xC0) == 0x80)
                    ++n;
                literal(std::string(code.substr(i + 1, n)));
                i += n;
            }
        } else if (c == '_') {
            // Space as wide as the next character: one blank in text.
            literal(" ");
            ++i;
        } else if (c == '*') {
            ++i;  // fills the column's width: nothing in text
        } else if (c == '[') {
            const std::size_t close = code.find(']', i);
            if (close == std::string_view::npos) {
                section.exact = false;
                break;
            }
            bracket(code.substr(i + 1, close - i - 1), section);
            i = close;
        } else if (c == '0' || c == '#' || c == '?') {
            section.tokens.push_back({Kind::Digit, std::string(1, c)});
        } else if (c == '.') {
            // A "." after seconds gives their tenths, else the decimal point.
            if (section.hasDate && i + 1 < code.size() && code[i + 1] == '0')
                section.exact = false;
            section.tokens.push_back({Kind::Decimal, "."});
        } else if (c == ',') {
            section.tokens.push_back({Kind::Comma, ","});
        } else if (c == '%') {
            section.tokens.push_back({Kind::Percent, "%"});
        } else if (c == '@') {
            section.tokens.push_back({Kind::Text, "@"});
        } else if (lower == 'e' && i + 1 < code.size() && (code[i + 1] == '+' || code[i + 1] == '-')) {
            section.exact = false;  // scientific notation
            ++i;
        } else if (platform::startsWithNoCase(code.substr(i), "am/pm")) {
            section.tokens.push_back({Kind::AmPm, "AM/PM"});
            i += 4;
        } else if (platform::startsWithNoCase(code.substr(i), "a/p")) {
            section.tokens.push_back({Kind::AmPm, "A/P"});
            i += 2;
        } else if (platform::startsWithNoCase(code.substr(i), "general") ||
                   platform::startsWithNoCase(code.substr(i), "standard")) {
            section.tokens.push_back({Kind::General, ""});
            i += platform::asciiLower(code[i + 1]) == 'e' ? 6 : 7;
        } else if (isDateLetter(c)) {
            std::size_t n = 1;
            while (i + n < code.size() && platform::asciiLower(code[i + n]) == lower)
                ++n;
            section.tokens.push_back({Kind::DatePart, std::string(n, lower)});
            section.hasDate = true;
            i += n - 1;
        } else if (lower == 'e' || lower == 'g' || lower == 'b' || lower == 'n' || lower == 'w' || lower == 'q') {
            section.exact = false;  // eras, Buddhist years, day names in other spellings
        } else if (c == '/' && !section.tokens.empty() && section.tokens.back().kind == Kind::Digit) {
            section.exact = false;  // fractions
        } else {
            literal(std::string(1, c));
        }
    }
    if (section.hasDate) {
        // "m" means minutes right after an hour or right before seconds.
        Token* previous = nullptr;
        for (std::size_t t = 0; t < section.tokens.size(); ++t) {
            Token& token = section.tokens[t];
            if (token.kind != Kind::DatePart)
                continue;
            if (token.text[0] == 'm' && token.text.size() <= 2) {
                bool minutes = previous && (previous->text[0] == 'h' || previous->text == "[h]");
                for (std::size_t n = t + 1; !minutes && n < section.tokens.size(); ++n)
                    if (section.tokens[n].kind == Kind::DatePart) {
                        minutes = section.tokens[n].text[0] == 's' || section.tokens[n].text == "[s]";
                        break;
                    }
                if (minutes)
                    token.text = token.text.size() == 1 ? "M" : "MM";  // upper case: minutes
            }
            previous = &token;
        }
    }
    return section;
}

std::string twoDigits(long long n) {
    return n < 10 ? "0" + std::to_string(n) : std::to_string(n);
}

// Days since 1970-01-01 to a civil date (Howard Hinnant's algorithm).
void civilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::optional<std::string> formatDate(double value, const Section& section, bool date1904) {
    if (value < 0)
        return std::nullopt;
    const long long totalSeconds = std::llround(value * 86400.0);
    const long long serial = totalSeconds / 86400;
    const long long seconds = totalSeconds % 86400;
    int y = 0, m = 0, d = 0, weekday = 0;
    if (date1904) {
        civilFromDays(serial - 24107, y, m, d);  // 1904-01-01 is 24107 days before 1970
        weekday = static_cast<int>((serial + 5) % 7);
    } else if (serial == 60) {
        // The 1900 system counts a 29 February 1900 that never was.
        y = 1900, m = 2, d = 29, weekday = 3;
    } else {
        civilFromDays((serial < 60 ? serial + 1 : serial) - 25569, y, m, d);
        weekday = static_cast<int>((serial + 6) % 7);
    }
    bool twelveHours = false;
    for (const Token& token : section.tokens)
        twelveHours = twelveHours || token.kind == Kind::AmPm;
    const long long hour = seconds / 3600;
    const long long minute = seconds / 60 % 60;
    const long long second = seconds % 60;
    const Language& language = section.language;

    std::string out;
    for (const Token& token : section.tokens) {
        const std::string& t = token.text;
        switch (token.kind) {
            case Kind::Literal:
                for (char c : t)
                    out += c == '/' ? language.dateSeparator : c;
                break;
            case Kind::Decimal:
            case Kind::Comma:
                out += token.text;  // "dd.mm.yyyy": no decimal point among dates
                break;
            case Kind::AmPm:
                out += hour < 12 ? (t == "A/P" ? "A" : "AM") : (t == "A/P" ? "P" : "PM");
                break;
            case Kind::DatePart:
                if (t == "[h]")
                    out += std::to_string(totalSeconds / 3600);
                else if (t == "[m]")
                    out += std::to_string(totalSeconds / 60);
                else if (t == "[s]")
                    out += std::to_string(totalSeconds);
                else if (t[0] == 'y')
                    out += t.size() <= 2 ? twoDigits(y % 100) : std::to_string(y);
                else if (t[0] == 'd' && t.size() <= 2)
                    out += t.size() == 1 ? std::to_string(d) : twoDigits(d);
                else if (t[0] == 'd' && t.size() >= 4)
                    out += language.english ? kDaysEn[weekday] : kDaysDe[weekday];
                else if (t[0] == 'm' && t.size() <= 2)
                    out += t.size() == 1 ? std::to_string(m) : twoDigits(m);
                else if (t[0] == 'm' && t.size() == 4)
                    out += language.english ? kMonthsEn[m - 1] : kMonthsDe[m - 1];
                else if (t[0] == 'h') {
                    const long long shown = twelveHours ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
                    out += t.size() == 1 ? std::to_string(shown) : twoDigits(shown);
                } else if (t[0] == 'M')
                    out += t.size() == 1 ? std::to_string(minute) : twoDigits(minute);
                else if (t[0] == 's')
                    out += t.size() == 1 ? std::to_string(second) : twoDigits(second);
                else
                    return std::nullopt;  // abbreviated names differ between programs
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

// `x` (not negative) rounded half away from zero to `decimals` places, as
// decimal digits before and after the point; leading zeros removed. Taken
// from its 15 significant digits, as spreadsheets show numbers.
void decimalDigits(double x, int decimals, std::string& whole, std::string& fraction) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", x);
    std::string digits;
    const char* p = buffer;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits += *p;
    long point = std::strtol(p + 1, nullptr, 10) + 1;  // digits before the point
    if (point <= 0) {
        digits.insert(0, static_cast<std::size_t>(1 - point), '0');
        point = 1;
    }
    const std::size_t keep = static_cast<std::size_t>(point + decimals);
    if (digits.size() < keep + 1)
        digits.append(keep + 1 - digits.size(), '0');
    const bool up = digits[keep] >= '5';
    digits.resize(keep);
    if (up) {
        std::size_t i = keep;
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
                continue;
            }
            ++digits[i];
            break;
        }
        if (i == 0 && digits[0] == '0' && keep > 0) {
            digits.insert(digits.begin(), '1');
            ++point;
        }
    }
    whole = digits.substr(0, static_cast<std::size_t>(point));
    fraction = digits.substr(static_cast<std::size_t>(point));
    const std::size_t first = whole.find_first_not_of('0');
    whole = first == std::string::npos ? "" : whole.substr(first);
}

std::optional<std::string> formatGeneral(double value, const Language& language) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string out = buffer;
    if (out.find('e') != std::string::npos || out.find("inf") != std::string::npos ||
        out.find("nan") != std::string::npos)
        return std::nullopt;
    for (char& c : out)
        if (c == '.')
            c = language.decimal;
    return out;
}

std::optional<std::string> formatNumeric(double value, const Section& section, bool negativeSign) {
    const std::vector<Token>& tokens = section.tokens;
    const Language& language = section.language;
    // Where the integer placeholders end: at the decimal point, else after
    // the last placeholder.
    std::size_t decimalAt = tokens.size();
    int integerPlaces = 0, decimalPlaces = 0;
    bool grouping = false;
    int scale = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Kind::Decimal && decimalAt == tokens.size())
            decimalAt = i;
        if (tokens[i].kind == Kind::Digit)
            (decimalAt == tokens.size() ? integerPlaces : decimalPlaces)++;
        if (tokens[i].kind == Kind::Percent)
            value *= 100;
        if (tokens[i].kind == Kind::Comma && decimalAt == tokens.size()) {
            // Between placeholders: thousands; after the last one: divide.
            bool digitAfter = false;
            for (std::size_t n = i + 1; n < tokens.size() && tokens[n].kind != Kind::Decimal; ++n)
                digitAfter = digitAfter || tokens[n].kind == Kind::Digit;
            if (digitAfter)
                grouping = true;
            else if (integerPlaces > 0)
                ++scale;
        }
    }
    for (int i = 0; i < scale; ++i)
        value /= 1000;

    std::string whole, fraction;
    decimalDigits(std::fabs(value), decimalPlaces, whole, fraction);
    const bool zero = whole.empty() && fraction.find_first_not_of('0') == std::string::npos;

    // The integer placeholders from the right take the digits; the leftmost
    // takes any that are left over.
    std::vector<std::string> integerText(static_cast<std::size_t>(integerPlaces));
    {
        int k = 0;
        std::size_t digit = whole.size();
        for (std::size_t i = decimalAt; i-- > 0;) {
            if (tokens[i].kind != Kind::Digit)
                continue;
            std::string& slot = integerText[static_cast<std::size_t>(integerPlaces - 1 - k)];
            if (digit > 0)
                slot = whole[--digit];
            else if (tokens[i].text == "0")
                slot = "0";
            else if (tokens[i].text == "?")
                slot = " ";
            ++k;
        }
        if (integerPlaces > 0)
            integerText[0] = whole.substr(0, digit) + integerText[0];
    }
    std::string integerPart;
    for (const std::string& s : integerText)
        integerPart += s;
    if (grouping) {
        std::string grouped;
        int count = 0;
        for (std::size_t i = integerPart.size(); i-- > 0;) {
            if (count > 0 && count % 3 == 0 && integerPart[i] >= '0' && integerPart[i] <= '9')
                grouped.insert(grouped.begin(), language.thousands);
            grouped.insert(grouped.begin(), integerPart[i]);
            if (integerPart[i] >= '0' && integerPart[i] <= '9')
                ++count;
        }
        integerPart = grouped;
    }
    // Decimal placeholders: "#" drops trailing zeros, "?" blanks them.
    std::string decimalText = fraction;
    for (std::size_t i = tokens.size(), j = decimalText.size(); i-- > decimalAt && j > 0;) {
        if (tokens[i].kind != Kind::Digit)
            continue;
        --j;
        if (decimalText[j] != '0' || tokens[i].text == "0")
            break;
        if (tokens[i].text == "#")
            decimalText.erase(j, 1);
        else
            decimalText[j] = ' ';
    }

    std::string out;
    if (negativeSign && !zero)
        out += '-';
    bool integerWritten = false;
    std::size_t decimalIndex = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        switch (token.kind) {
            case Kind::Literal: out += token.text; break;
            case Kind::Percent: out += '%'; break;
            case Kind::Decimal:
                if (i == decimalAt)
                    out += language.decimal;
                break;
            case Kind::Digit:
                if (i < decimalAt) {
                    if (!integerWritten)
                        out += integerPart;
                    integerWritten = true;
                } else if (decimalIndex < decimalText.size()) {
                    out += decimalText[decimalIndex++];
                }
                break;
            case Kind::General: {
                const std::optional<std::string> general = formatGeneral(value, language);
                if (!general)
                    return std::nullopt;
                out += *general;
                break;
            }
            case Kind::Comma: break;
            default: return std::nullopt;
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> formatNumber(double value, std::string_view code, bool date1904) {
    if (!std::isfinite(value))
        return std::nullopt;
    const std::vector<std::string_view> codes = splitSections(code);
    std::vector<Section> sections;
    for (std::string_view c : codes)
        sections.push_back(parseSection(c));
    // One section: every number; two: not negative / negative; three: positive
    // / negative / zero. A section of its own shows a negative number without
    // its sign.
    const Section* section = &sections[0];
    bool sign = value < 0;
    if (value < 0 && sections.size() >= 2) {
        section = &sections[1];
        sign = false;
    } else if (value == 0 && sections.size() >= 3) {
        section = &sections[2];
    }
    for (const Token& token : section->tokens)
        if (token.kind == Kind::Text)
            return std::nullopt;
    if (!section->exact)
        return std::nullopt;
    if (section->tokens.empty())
        return std::string();
    if (section->hasDate)
        return formatDate(value, *section, date1904);
    bool numeric = false;
    for (const Token& token : section->tokens)
        numeric = numeric || token.kind == Kind::Digit || token.kind == Kind::General;
    if (!numeric) {
        std::string out = sign ? "-" : "";
        for (const Token& token : section->tokens)
            out += token.text;
        return out;
    }
    return formatNumeric(sign ? -value : value, *section, sign);
}

std::string builtinFormatCode(int id) {
    // The formats every .xlsx may use by number without writing them down.
    // Those that depend on the reader's language are given as German Calc
    // shows them (percent with a no-break space before "%").
    switch (id) {
        case 0: return "General";
        case 1: return "0";
        case 2: return "0.00";
        case 3: return "#,##0";
        case 4: return "#,##0.00";
        case 9: return "0\\\xC2\xA0%";
        case 10: return "0.00\\\xC2\xA0%";
        case 14: return "dd.mm.yyyy";
        case 18: return "h:mm AM/PM";
        case 19: return "h:mm:ss AM/PM";
        case 20: return "hh:mm";
        case 21: return "hh:mm:ss";
        case 22: return "dd.mm.yyyy hh:mm";
        case 37: return "#,##0 ;(#,##0)";
        case 38: return "#,##0 ;[Red](#,##0)";
        case 39: return "#,##0.00;(#,##0.00)";
        case 40: return "#,##0.00;[Red](#,##0.00)";
        case 45: return "mm:ss";
        case 46: return "[h]:mm:ss";
        case 49: return "@";
        default: return "";
    }
}

}  // namespace sendrix::merge
