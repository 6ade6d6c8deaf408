#include "merge/address_history.h"

#include <algorithm>

#include "merge/recipient_list.h"
#include "platform/ascii.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

bool addToAddressHistory(std::vector<std::string>& items, const std::string& address) {
    // An empty entry would only clutter the drop-down and the history file.
    if (platform::trimControl(address).empty())
        return false;
    const std::string entry = platform::asciiLowered(address);
    if (std::find(items.begin(), items.end(), entry) != items.end())
        return false;
    items.insert(std::upper_bound(items.begin(), items.end(), entry), entry);
    return true;
}

}  // namespace sendrix::merge
