#pragma once
// A recipient row as one line for test output: "[ok|name|vorname|email|typ]",
// the extra columns after the Typ, so that two rows compare as text and a
// failing case shows the whole row.
#include <string>

#include "merge/recipient_list.h"

namespace sendrix::test {

inline std::string describe(const merge::RecipientRow& r) {
    std::string text = "[" + r.ok + "|" + r.name + "|" + r.vorname + "|" + r.email + "|" + r.typ;
    for (const std::string& value : r.extra)
        text += "|" + value;
    return text + "]";
}

}  // namespace sendrix::test
