#pragma once
// The handbook "?" > "Handbuch" opens: the README's section "Handbuch",
// made into HTML when the program is built (tools/handbook) and shipped
// beside the program and in the package.
#include <string>
#include <vector>

namespace sendrix::app {

inline constexpr const char* kHandbookFile = "handbuch.html";

// Where the handbook may be, in the order looked at: beside the program (a
// build folder), then the data folder of an installation
// (<prefix>/share/sendrix beside <prefix>/bin).
std::vector<std::string> handbookCandidates(const std::string& programFolder);

// The first candidate that exists; throws sendrix::Error naming the places
// looked at when none does.
std::string handbookPath(const std::string& programFolder);

// The Markdown of the section "## Handbuch" of `readme` (its heading
// included) up to the next heading of the same level, or "" without one.
std::string handbookSection(const std::string& readme);

}  // namespace sendrix::app
