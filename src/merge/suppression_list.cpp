#include "merge/suppression_list.h"

#include "mail/id_email_address.h"
#include "platform/ascii.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

constexpr const char* kTitle =
    "# Sendrix-Sperrliste: an diese Adressen wird nicht mehr gesendet (Adresse, Datum, Grund; "
    "durch Tabulator getrennt)";

// A value that stays inside its field of its line.
std::string oneField(std::string_view text) {
    std::string out(platform::trimControl(text));
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return out;
}

std::string isoDate(const platform::LocalTime& day) {
    return std::to_string(day.year) + "-" + platform::TwoDigits(day.month) + "-" + platform::TwoDigits(day.day);
}

}  // namespace

SuppressionList SuppressionList::read(const std::string& path) {
    SuppressionList list;
    if (!platform::fileExists(path))
        return list;
    for (const std::string& line : platform::readTextFileLines(path)) {
        const std::string_view text = platform::trimBlanks(line);
        if (text.empty() || text.front() == '#')
            continue;
        SuppressedAddress entry;
        const std::size_t tab = text.find('\t');
        entry.address = platform::trimControl(text.substr(0, tab));
        if (tab != std::string_view::npos) {
            const std::string_view rest = text.substr(tab + 1);
            const std::size_t second = rest.find('\t');
            entry.date = platform::trimControl(rest.substr(0, second));
            if (second != std::string_view::npos)
                entry.reason = oneField(rest.substr(second + 1));
        }
        if (entry.address.find('@') != std::string::npos && !list.find(entry.address))
            list.m_entries.push_back(std::move(entry));
    }
    return list;
}

const SuppressedAddress* SuppressionList::find(const std::string& address) const {
    const std::string wanted = platform::asciiLowered(platform::trimControl(address));
    for (const SuppressedAddress& entry : m_entries)
        if (platform::asciiLowered(entry.address) == wanted)
            return &entry;
    return nullptr;
}

bool SuppressionList::add(const std::string& address, const platform::LocalTime& today,
                          const std::string& reason) {
    const std::string clean = oneField(address);
    if (clean.empty() || find(clean))
        return false;
    m_entries.push_back({clean, isoDate(today), oneField(reason)});
    return true;
}

void SuppressionList::replaceAll(std::vector<SuppressedAddress> entries) {
    m_entries.clear();
    for (SuppressedAddress& entry : entries) {
        entry.address = oneField(entry.address);
        entry.date = oneField(entry.date);
        entry.reason = oneField(entry.reason);
        if (!entry.address.empty() && !find(entry.address))
            m_entries.push_back(std::move(entry));
    }
}

std::string SuppressionList::text() const {
    std::string out = std::string(kTitle) + "\n";
    for (const SuppressedAddress& entry : m_entries)
        out += entry.address + "\t" + entry.date + "\t" + entry.reason + "\n";
    return out;
}

void SuppressionList::write(const std::string& path) const {
    platform::replaceFileAtomically(path, text(), "Die Sperrliste " + path + " kann nicht geschrieben werden",
                                    0600);
}

std::vector<SuppressedRow> suppressedRows(const Mailing& mailing, const SuppressionList& list) {
    std::vector<SuppressedRow> hits;
    if (list.entries().empty())
        return hits;
    for (std::size_t i = 0; i < mailing.rows.size(); ++i) {
        if (mailing.rows[i].ok != kSendMark)
            continue;
        mail::TIdEMailAddressList addresses;
        addresses.SetAddresses(mailing.rows[i].email);
        for (const mail::TIdEMailAddressItem& item : addresses)
            if (const SuppressedAddress* entry = list.find(item.Address())) {
                hits.push_back({i, *entry});
                break;
            }
    }
    return hits;
}

std::string suppressedRowText(const Mailing& mailing, const SuppressedRow& row) {
    std::string why = row.entry.date;
    if (!row.entry.reason.empty())
        why += (why.empty() ? "" : ", ") + row.entry.reason;
    return "Zeile " + std::to_string(sourceRowNumber(mailing, row.index)) + ": " + row.entry.address +
           " steht auf der Sperrliste" + (why.empty() ? "" : " (" + why + ")");
}

}  // namespace sendrix::merge
