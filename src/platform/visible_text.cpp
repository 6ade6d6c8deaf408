#include "platform/visible_text.h"

#include <cstdio>

#include "platform/text_codec.h"

namespace sendrix::platform {

std::string visibleText(std::string_view bytes) {
    const std::string text = decodeFileText(bytes);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) {
            out += c;
            continue;
        }
        switch (b) {
            case '\r': out += "<CR>"; break;
            case '\n': out += "<LF>"; break;
            case '\0': out += "<NUL>"; break;
            case '\t': out += "<TAB>"; break;
            case 0x1B: out += "<ESC>"; break;
            default: {
                char named[8];
                std::snprintf(named, sizeof named, "<0x%02X>", b);
                out += named;
            }
        }
    }
    return out;
}

}  // namespace sendrix::platform
