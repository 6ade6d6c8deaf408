#pragma once
// E-mail addresses with optional display names, as typed into the address
// fields, and their rendering for header lines.
#include <string>
#include <string_view>
#include <vector>

#include "mail/id_header_coder.h"

namespace sendrix::mail {

class TIdEMailAddressItem {
public:
    TIdEMailAddressItem() = default;
    // Same as SetText(text).
    explicit TIdEMailAddressItem(std::string_view text) { SetText(text); }

    const std::string& Address() const { return m_address; }
    void SetAddress(std::string address) { m_address = std::move(address); }
    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

    // Address alone when Name is empty or equals the upper-cased Address,
    // else "Name <Address>".
    std::string Text() const;
    // Parses "Name <addr>", "addr (Name)" or a bare address; quotes around
    // the name are removed.
    void SetText(std::string_view text);
    // A display name as typed into a field of its own and its address: both
    // trimmed, the name stripped of enclosing quotes as SetText does, but
    // never parsed, so "<", ">", "(" and inner quotes stay in it.
    void SetNameAndAddress(std::string_view name, std::string_view address);

    bool Empty() const { return m_address.empty() && m_name.empty(); }
    void Clear();

private:
    std::string m_address;
    std::string m_name;
};

class TIdEMailAddressList {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    TIdEMailAddressItem& Items(int index) { return m_items.at(index); }
    const TIdEMailAddressItem& Items(int index) const { return m_items.at(index); }
    TIdEMailAddressItem& Add() { return m_items.emplace_back(); }
    void Add(TIdEMailAddressItem item) { m_items.push_back(std::move(item)); }
    void Clear() { m_items.clear(); }

    // Empties the list and adds one item per comma-separated piece; a comma
    // after exactly one double quote of its piece does not separate.
    void SetAddresses(std::string_view text);

    std::vector<TIdEMailAddressItem>::const_iterator begin() const { return m_items.begin(); }
    std::vector<TIdEMailAddressItem>::const_iterator end() const { return m_items.end(); }

private:
    std::vector<TIdEMailAddressItem> m_items;
};

// The header text of one address: bare address, "\"Name\" <addr>" with
// backslash escapes, or encoded words for a name with 8-bit or control bytes.
std::string EncodeDisplayAddress(const TIdEMailAddressItem& item, const HeaderCharset& charset);
// The items' renderings joined by ", "; "" for an empty list.
std::string EncodeAddressListText(const TIdEMailAddressList& list, const HeaderCharset& charset);

// The same for program text (UTF-8): a name outside printable ASCII as
// encoded words in its own charset (wire_charset.h), an internationalised
// domain as its A-label (idn_address.h).
std::string EncodeDisplayAddress(const TIdEMailAddressItem& item, const platform::LocaleLanguage& language);
std::string EncodeAddressListText(const TIdEMailAddressList& list, const platform::LocaleLanguage& language);

}  // namespace sendrix::mail
