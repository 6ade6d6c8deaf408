#pragma once
// Text from outside (a server's reply, a damaged address) as a person may
// read it on a console or in a window.
#include <string>
#include <string_view>

namespace sendrix::platform {

// `bytes` as valid UTF-8 (bytes that are no UTF-8 read as Windows-1252, as
// files are) with every control character named: "<CR>", "<LF>", "<NUL>",
// "<TAB>", "<ESC>", others as "<0x07>"; DEL is "<0x7F>". So a reply cannot
// move the cursor, end a protocol line or make standard error invalid UTF-8.
std::string visibleText(std::string_view bytes);

}  // namespace sendrix::platform
