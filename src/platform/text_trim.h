#pragma once
// Trimming at both ends, in the two senses the program's texts need.
#include <string>
#include <string_view>

namespace sendrix::platform {

// Without the characters with codes 0 to 32 at both ends (blanks, tabs, line
// ends and other control characters); inner ones stay.
std::string trimControl(std::string_view text);

// Without blanks and tabs at both ends.
std::string_view trimBlanks(std::string_view text);

}  // namespace sendrix::platform
