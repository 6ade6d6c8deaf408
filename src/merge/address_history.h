#pragma once
// The address history: the single addresses mailed before, kept as the
// sorted item list of the address drop-down.
#include <string>
#include <vector>

namespace sendrix::merge {

// Adds the lower-cased address at its sorted place unless an equal entry is
// there (exact comparison) or the address is blank. True when added.
bool addToAddressHistory(std::vector<std::string>& items, const std::string& address);

}  // namespace sendrix::merge
