#pragma once
// The suppression list ("Sperrliste"): addresses that are not to be mailed
// again, with the date and the reason they went on it. A text file in the
// program folder a person can read and edit, one address a line:
//
//   # comment
//   anna@example.org<TAB>2026-12-09<TAB>unzustellbar: 5.1.1 user unknown
//   bernd@example.org
//
// Date and reason may be missing. Addresses compare without regard to case.
#include <optional>
#include <string>
#include <vector>

#include "merge/mailing.h"
#include "platform/clock.h"

namespace sendrix::merge {

inline constexpr const char* kSuppressionFileName = "Sperrliste.txt";

struct SuppressedAddress {
    std::string address;
    std::string date;  // "YYYY-MM-DD", may be empty
    std::string reason;

    bool operator==(const SuppressedAddress&) const = default;
};

class SuppressionList {
public:
    // Reads `path`; a missing file is an empty list. Lines that are empty,
    // begin with "#" or hold no address are kept out. Throws FileError when
    // the file cannot be read.
    static SuppressionList read(const std::string& path);

    const std::vector<SuppressedAddress>& entries() const { return m_entries; }
    // The entry of `address` (trimmed, any case); null when it is not listed.
    const SuppressedAddress* find(const std::string& address) const;
    // Adds `address` with today's date and `reason` unless it is listed
    // already; true when it was added. Tabs and line breaks in the reason
    // become blanks, so an entry stays one line.
    bool add(const std::string& address, const platform::LocalTime& today, const std::string& reason);
    void replaceAll(std::vector<SuppressedAddress> entries);

    // The file text (UTF-8, LF line ends, a comment line first).
    std::string text() const;
    // Writes text() to `path` atomically (mode 0600: the file names people);
    // throws FileError naming the file.
    void write(const std::string& path) const;

private:
    std::vector<SuppressedAddress> m_entries;
};

// Marked rows ("+") of `mailing` whose address (any of a comma-separated
// list) is on `list`: index into mailing.rows and the entry that hit.
struct SuppressedRow {
    std::size_t index = 0;
    SuppressedAddress entry;
};
std::vector<SuppressedRow> suppressedRows(const Mailing& mailing, const SuppressionList& list);

// "Zeile 3: anna@example.org steht auf der Sperrliste (2026-12-09, unzustellbar ...)".
std::string suppressedRowText(const Mailing& mailing, const SuppressedRow& row);

}  // namespace sendrix::merge
