#include "mail/id_email_address.h"
#include "platform/ascii.h"

#include "mail/idn_address.h"
#include "mail/wire_charset.h"
#include "platform/text_trim.h"

namespace sendrix::mail {

namespace {

bool hasControlOr8BitByte(std::string_view s) {
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b >= 127)
            return true;
    }
    return false;
}

void stripEnclosingQuotes(std::string& name) {
    // A name typed as an RFC 5322 quoted-string ("Weber \"Nord\"") loses its
    // quoted pairs once; the writer quotes it anew.
    const bool quotedString = name.size() > 1 && name.front() == '"' && name.back() == '"';
    while (name.size() > 1 &&
           ((name.front() == '"' && name.back() == '"') || (name.front() == '\'' && name.back() == '\'')))
        name = name.substr(1, name.size() - 2);
    if (!quotedString || name.find('\\') == std::string::npos)
        return;
    std::string plain;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size())
            ++i;
        plain += name[i];
    }
    name = std::move(plain);
}

}  // namespace

std::string TIdEMailAddressItem::Text() const {
    if (m_name.empty() || m_name == platform::asciiUppered(m_address))
        return m_address;
    return m_name + " <" + m_address + ">";
}

void TIdEMailAddressItem::SetText(std::string_view text) {
    Clear();
    if (text.empty())
        return;
    if (text.back() == '>') {
        const size_t open = text.find('<');
        if (open != std::string_view::npos) {
            m_address = platform::trimControl(text.substr(open + 1, text.size() - 1 - (open + 1)));
            m_name = platform::trimControl(text.substr(0, open));
        }
    } else if (text.back() == ')') {
        const size_t open = text.find('(');
        if (open != std::string_view::npos) {
            m_name = platform::trimControl(text.substr(open + 1, text.size() - 1 - (open + 1)));
            m_address = platform::trimControl(text.substr(0, open));
        }
    } else {
        m_address = std::string(text);
    }
    stripEnclosingQuotes(m_name);
}

void TIdEMailAddressItem::SetNameAndAddress(std::string_view name, std::string_view address) {
    m_address = platform::trimControl(address);
    m_name = platform::trimControl(name);
    stripEnclosingQuotes(m_name);
}

void TIdEMailAddressItem::Clear() {
    m_address.clear();
    m_name.clear();
}

void TIdEMailAddressList::SetAddresses(std::string_view text) {
    m_items.clear();
    size_t pieceStart = 0;
    int quotes = 0;
    auto addPiece = [&](size_t end) {
        const std::string piece = platform::trimControl(text.substr(pieceStart, end - pieceStart));
        if (!piece.empty())
            m_items.emplace_back(piece);
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            ++quotes;
        } else if (text[i] == ',' && quotes != 1) {
            // Only the first quoted stretch of a piece protects its commas:
            // the count is not reset at the closing quote.
            addPiece(i);
            pieceStart = i + 1;
            quotes = 0;
        }
    }
    addPiece(text.size());
}

namespace {

std::string quotedName(std::string_view name) {
    // RFC 5322 quoted-string: backslash and double quote need a quoted-pair.
    std::string out = "\"";
    for (char c : name) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

template <typename EncodeName>
std::string displayAddress(const TIdEMailAddressItem& item, std::string_view address, EncodeName encodeName) {
    if (item.Name().empty())
        return std::string(address);
    // A quoted name cannot be folded, so a very long one is encoded too.
    std::string namePart = quotedName(item.Name());
    if (hasControlOr8BitByte(item.Name()) || TextNeedsEncodedForm(item.Name()) ||
        namePart.size() > kLongestPlainHeaderWord)
        namePart = encodeName(item.Name());
    return namePart + " <" + std::string(address) + ">";
}

template <typename Render>
std::string joinedList(const TIdEMailAddressList& list, Render render) {
    std::string text;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0)
            text += ", ";
        text += render(list.Items(i));
    }
    return text;
}

}  // namespace

std::string EncodeDisplayAddress(const TIdEMailAddressItem& item, const HeaderCharset& charset) {
    return displayAddress(item, item.Address(), [&](std::string_view name) {
        return EncodeHeaderText(name, kAddressSpecials, charset);
    });
}

std::string EncodeAddressListText(const TIdEMailAddressList& list, const HeaderCharset& charset) {
    return joinedList(list,
                      [&](const TIdEMailAddressItem& item) { return EncodeDisplayAddress(item, charset); });
}

std::string EncodeDisplayAddress(const TIdEMailAddressItem& item, const platform::LocaleLanguage& language) {
    return displayAddress(item, WithAsciiDomain(item.Address()), [&](std::string_view name) {
        return EncodeHeaderWords(name, kAddressSpecials, language);
    });
}

std::string EncodeAddressListText(const TIdEMailAddressList& list, const platform::LocaleLanguage& language) {
    return joinedList(list,
                      [&](const TIdEMailAddressItem& item) { return EncodeDisplayAddress(item, language); });
}

}  // namespace sendrix::mail
