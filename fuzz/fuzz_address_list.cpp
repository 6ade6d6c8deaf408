// Address fields: TIdEMailAddressList::SetAddresses on any text, then
// EncodeAddressListText in every character set the program can choose, and
// the result as a folded "To" header line. The first input byte picks the
// character set.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_lines.h"
#include "mail/id_email_address.h"
#include "mail/id_header_list.h"

using namespace sendrix;
using namespace sendrix::fuzz;

namespace {

const mail::HeaderCharset kCharsets[] = {
    {"ISO-8859-1", 'Q', false},
    {"GB2312", 'B', false},
    {"ISO-2022-JP", 'B', true},
    {"EUC-KR", 'B', false},
};

void checkList(std::string_view text, const mail::HeaderCharset& charset, bool singleLine) {
    mail::TIdEMailAddressList list;
    list.SetAddresses(text);
    const std::string encoded = mail::EncodeAddressListText(list, charset);
    // Only text without line breaks is promised a clean folded value; the
    // header list below must cope with anything.
    if (singleLine)
        requireFoldedValue(encoded);
    mail::TIdHeaderList headers;
    headers.SetHeaderValue("To", encoded);
    requireHeaderLines(headers.Lines(), "To");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const mail::HeaderCharset& charset = kCharsets[data[0] % 4];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    // As the message writes its address fields: CR and LF are blanks by then.
    checkList(withBlanksForLineBreaks(text), charset, true);
    checkList(text, charset, false);
    return 0;
}
