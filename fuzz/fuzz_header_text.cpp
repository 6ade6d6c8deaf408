// Header text: EncodeHeaderText with both encodings, with and without the
// address specials and the ISO-2022-JP conversion, then FoldHeaderLine at
// any fold length and with each kind of lead bytes. The first three input
// bytes pick the options, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_lines.h"
#include "mail/id_header_coder.h"
#include "mail/id_header_list.h"

using namespace sendrix;
using namespace sendrix::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const char encoding = (data[0] & 1) ? 'B' : 'Q';
    const std::string_view specials = (data[0] & 2) ? mail::kAddressSpecials : std::string_view();
    const bool toIso2022Jp = (data[0] & 4) != 0;
    const std::string_view charsetName =
        toIso2022Jp ? "ISO-2022-JP" : (encoding == 'B' ? "GB2312" : "ISO-8859-1");
    const int foldLength = data[1] == 0 ? 78 : data[1];
    const mail::LeadBytes leadBytes = static_cast<mail::LeadBytes>(data[2] % 3);
    const std::string_view raw(reinterpret_cast<const char*>(data + 3), size - 3);

    // As the message writes "Subject" and "Organization": line breaks are
    // blanks by then.
    const std::string text = withBlanksForLineBreaks(raw);
    const std::string encoded = mail::EncodeHeaderText(text, specials, encoding, toIso2022Jp, charsetName);
    requireFoldedValue(encoded);
    requireHeaderLines(mail::FoldHeaderLine("Subject: " + encoded, foldLength, leadBytes), "Subject");
    // Values that go out unencoded (8-bit bytes, lead bytes and all).
    requireHeaderLines(mail::FoldHeaderLine("References: " + text, foldLength, leadBytes), "References");

    // Raw text with its line breaks: the header list must keep them out of
    // the header block.
    const std::string rawEncoded = mail::EncodeHeaderText(raw, specials, encoding, toIso2022Jp, charsetName);
    mail::TIdHeaderList headers;
    headers.SetHeaderValue("Subject", rawEncoded);
    headers.SetHeaderValue("X-Raw", raw);
    for (const std::string& line : headers.Lines()) {
        require(!line.empty());
        require(!isBlank(line));
        require(!holdsLineBreak(line));
        // No value can start a header line of its own.
        require(line[0] == ' ' || line[0] == '\t' || line.rfind("Subject:", 0) == 0 ||
                line.rfind("X-Raw:", 0) == 0);
    }
    return 0;
}
