#pragma once
// The check before a list send: everything that would make messages go out
// wrong or the run stop half-way, found before the first message is sent.
#include <cstdint>
#include <string>
#include <vector>

#include "merge/mailing.h"

namespace sendrix::merge {

// Errors stop the run before anything is sent; warnings are shown and the
// run may go on.
struct Finding {
    enum class Level { Error, Warning };
    Level level;
    std::string text;  // German, naming the row and the object
    // The row whose own data is at fault (its index in Mailing::rows + 1),
    // which leaving it out would clear; 0 for every other finding.
    std::size_t faultyRow = 0;
};

struct PreflightLimits {
    // The server's SIZE limit in bytes; 0 when unknown.
    std::uint64_t serverSize = 0;
    // Above this most servers refuse a message (warning).
    std::uint64_t usualSize = 20u * 1024u * 1024u;
    // Images of an HTML body above this size make every message slow to
    // send and to open (warning).
    std::uint64_t imageWarning = 1024u * 1024u;
};

// Checks the marked rows of `mailing` (row numbers as in the grid, from 1):
// placeholders that name no column (error, once each), empty addresses
// (warning: the row is skipped), addresses that are no address (error),
// addresses used before (warning), placeholders in the subject whose value
// is empty (warning), attachment files that do not exist or cannot be read
// (error), line breaks in the sender, reply, CC and BCC fields (error),
// addresses over the length limits of mail/envelope_address.h (error), messages
// larger than the server's SIZE (error) or than `usualSize` (warning; the
// size is estimated from the body and the files' base64 size), local
// images of an HTML body that do not exist (error) or together exceed
// `imageWarning` (warning).
std::vector<Finding> preflightCheck(const Mailing& mailing, const PreflightLimits& limits = {});

bool hasError(const std::vector<Finding>& findings);

// "Fehler: ..." or "Warnung: ...".
std::string findingLine(const Finding& finding);

// A syntactically plausible address: local part "@" domain, neither empty,
// no blanks or control characters, no second "@", the domain with a dot
// between labels (or a literal in brackets).
bool plausibleAddress(const std::string& address);

}  // namespace sendrix::merge
