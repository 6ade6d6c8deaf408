// E-mail addresses: reading and writing an item's Text, cutting a field's
// text into items at commas, and rendering items and lists for header
// lines (bare address, quoted name with escapes, encoded words).
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "mail/id_email_address.h"

namespace sendrix::mail {
namespace {

const HeaderCharset kWestern = {"ISO-8859-1", 'Q', false};

TIdEMailAddressItem item(std::string name, std::string address) {
    TIdEMailAddressItem result;
    result.SetName(std::move(name));
    result.SetAddress(std::move(address));
    return result;
}

// ---------------------------------------------------------------------------
// Text

TEST(EMailAddressItem, ReadingTextShowsTheNameUnlessItIsEmptyOrTheAddressInCapitals) {
    struct Case {
        const char* name;
        const char* address;
        const char* expected;
    };
    const Case cases[] = {
        {"", "max@example.com", "max@example.com"},
        {"Max Muster", "max@example.com", "Max Muster <max@example.com>"},
        {"MAX@EXAMPLE.COM", "max@example.com", "max@example.com"},
        {"MAX@EXAMPLE.COM", "MAX@EXAMPLE.COM", "MAX@EXAMPLE.COM"},
        // Only the upper-case form counts, not the same text.
        {"max@example.com", "max@example.com", "max@example.com <max@example.com>"},
        {"Max@Example.com", "max@example.com", "Max@Example.com <max@example.com>"},
        {"Muster, Max", "max@example.com", "Muster, Max <max@example.com>"},
        {"Max", "", "Max <>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(item(c.name, c.address).Text(), c.expected);
    }
}

TEST(EMailAddressItem, WritingTextSplitsNameAndAddress) {
    struct Case {
        std::string text;
        const char* name;
        const char* address;
    };
    const Case cases[] = {
        {"max@example.com", "", "max@example.com"},
        {"Max Muster <max@example.com>", "Max Muster", "max@example.com"},
        {"<max@example.com>", "", "max@example.com"},
        {"  Max \t< max@example.com\t>", "Max", "max@example.com"},
        {"\x01Max\x02<\x1fmax@example.com\x1f>", "Max", "max@example.com"},
        {"\"Muster, Max\" <max@example.com>", "Muster, Max", "max@example.com"},
        {"'Max Muster' <max@example.com>", "Max Muster", "max@example.com"},
        // Quotes are taken off as long as both ends carry the same kind.
        {"\"'Max'\" <m@example.com>", "Max", "m@example.com"},
        {"'\"\"Max\"\"' <m@example.com>", "Max", "m@example.com"},
        {"\"Max' <m@example.com>", "\"Max'", "m@example.com"},
        {"\" <m@example.com>", "\"", "m@example.com"},
        {"\"\" <m@example.com>", "", "m@example.com"},
        {"\"Max \"Chef\"\" <m@example.com>", "Max \"Chef\"", "m@example.com"},
        // A quoted-string loses its quoted pairs once; the writer quotes anew.
        {"\"Weber \\\"Nord\\\" \\\\ S\\üd\" <w@example.com>", "Weber \"Nord\" \\ Süd", "w@example.com"},
        {"Weber \\Nord <w@example.com>", "Weber \\Nord", "w@example.com"},
        // The first "<" counts, the last character ends the address.
        {"a <b> <c@example.com>", "a", "b> <c@example.com"},
        {"Max (Chef) <m@example.com>", "Max (Chef)", "m@example.com"},
        {"max@example.com (Max Muster)", "Max Muster", "max@example.com"},
        {"max@example.com ('Max')", "Max", "max@example.com"},
        {"m@example.com (Max (Chef))", "Max (Chef)", "m@example.com"},
        {"(Max)", "Max", ""},
        // Without the opening bracket nothing is taken.
        {"Max max@example.com>", "", ""},
        {"max@example.com Max)", "", ""},
        // Anything else is the address as it is, blanks and all.
        {" max@example.com ", "", " max@example.com "},
        {"Max <max@example.com> ", "", "Max <max@example.com> "},
        {"a@example.com; b@example.org", "", "a@example.com; b@example.org"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TIdEMailAddressItem address = item("alter Name", "alt@example.org");
        address.SetText(c.text);
        EXPECT_EQ(address.Name(), c.name);
        EXPECT_EQ(address.Address(), c.address);
    }
}

// ---------------------------------------------------------------------------
// SetAddresses

struct Parsed {
    std::string name;
    std::string address;
    bool operator==(const Parsed&) const = default;
};

std::vector<Parsed> parse(std::string_view text) {
    TIdEMailAddressList list;
    list.SetAddresses("alt@example.org, noch@example.org");
    list.SetAddresses(text);
    std::vector<Parsed> out;
    for (const TIdEMailAddressItem& entry : list)
        out.push_back({entry.Name(), entry.Address()});
    return out;
}

void PrintTo(const Parsed& p, std::ostream* os) {
    *os << "{\"" << p.name << "\", \"" << p.address << "\"}";
}

TEST(EMailAddressList, SetAddressesCutsAtCommasOutsideTheFirstQuotedStretch) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<Parsed> expected;
    };
    const Case cases[] = {
        {"two addresses", "a@example.com, b@example.org", {{"", "a@example.com"}, {"", "b@example.org"}}},
        {"a semicolon does not separate",
         "a@example.com; b@example.org",
         {{"", "a@example.com; b@example.org"}}},
        {"names and addresses",
         "Max <m@example.com>,Anna Muster <anna@example.org>",
         {{"Max", "m@example.com"}, {"Anna Muster", "anna@example.org"}}},
        {"a quoted comma stays in the name",
         "\"Muster, Max\" <max@example.com>, anna@example.org",
         {{"Muster, Max", "max@example.com"}, {"", "anna@example.org"}}},
        {"an unquoted comma cuts the name",
         "Muster, Max <max@example.com>",
         {{"", "Muster"}, {"Max", "max@example.com"}}},
        {"the quote count starts anew in every piece",
         "\"X, Y\" <x@example.com>, \"Z, W\" <z@example.com>",
         {{"X, Y", "x@example.com"}, {"Z, W", "z@example.com"}}},
        // After the closing quote the count is 2, after the next opening one
        // 3: that comma separates.
        {"only the first quoted stretch protects",
         "\"A, B\" \"C, D\" <x@example.com>",
         {{"", "\"A, B\" \"C"}, {"D\"", "x@example.com"}}},
        {"a comma after a closed quote separates",
         "\"Max\" Muster, <m@example.com>",
         {{"", "\"Max\" Muster"}, {"", "m@example.com"}}},
        {"an unclosed quote protects every later comma",
         "\"Muster, Max <max@example.com>, b@example.org",
         {{"", "\"Muster, Max <max@example.com>, b@example.org"}}},
        {"single quotes do not protect",
         "'Muster, Max' <m@example.com>",
         {{"", "'Muster"}, {"Max'", "m@example.com"}}},
        {"pieces are trimmed, empty ones skipped",
         " ,\ta@example.com ,, \r\n, b@example.org\r\n,",
         {{"", "a@example.com"}, {"", "b@example.org"}}},
        {"empty text", "", {}},
        {"only blanks and commas", " , ,", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parse(c.text), c.expected);
    }
}

// ---------------------------------------------------------------------------
// Rendering for header lines

TEST(EncodeDisplayAddress, BareAddressQuotedNameOrEncodedWords) {
    struct Case {
        const char* what;
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"no name", "", "info@example.de"},
        {"plain name", "Team Vertrieb", "\"Team Vertrieb\" <info@example.de>"},
        {"quote and backslash are escaped", "Max \"Der Chef\" C:\\Temp",
         "\"Max \\\"Der Chef\\\" C:\\\\Temp\" <info@example.de>"},
        {"comma stays inside the quotes", "Muster, Max", "\"Muster, Max\" <info@example.de>"},
        {"a full stop alone is quoted, not encoded", "Dr. Max Muster",
         "\"Dr. Max Muster\" <info@example.de>"},
        {"other specials are only quoted",
         "Vertrieb (Nord) <alt>; @home [x]:", "\"Vertrieb (Nord) <alt>; @home [x]:\" <info@example.de>"},
        {"umlauts are encoded, not quoted", "B\xfcro K\xf6ln",
         "=?ISO-8859-1?Q?B=FCro_K=F6ln?= <info@example.de>"},
        {"a title with a full stop joins the encoded word", "Dr. J\xfcrgen M\xfcller",
         "=?ISO-8859-1?Q?Dr=2E_J=FCrgen_M=FCller?= <info@example.de>"},
        {"a comma is encoded, the plain word after it stays", "M\xfcller, Hans",
         "=?ISO-8859-1?Q?M=FCller=2C?= Hans <info@example.de>"},
        {"a quote in an encoded name", "\"Sch\xf6n\" GmbH",
         "=?ISO-8859-1?Q?=22Sch=F6n=22?= GmbH <info@example.de>"},
        {"a control byte makes the name encoded", "Max\x01", "=?ISO-8859-1?Q?Max=01?= <info@example.de>"},
        {"DEL too", "Max\x7f", "=?ISO-8859-1?Q?Max=7F?= <info@example.de>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(EncodeDisplayAddress(item(c.name, "info@example.de"), kWestern), c.expected);
    }
}

TEST(EncodeDisplayAddress, AddressIsNeverEncodedQuotedOrChecked) {
    EXPECT_EQ(EncodeDisplayAddress(item("", "m\xfc@example.de"), kWestern), "m\xfc@example.de");
    EXPECT_EQ(EncodeDisplayAddress(item("Max", "\"a b\"@example.de"), kWestern),
              "\"Max\" <\"a b\"@example.de>");
    EXPECT_EQ(EncodeDisplayAddress(item("Max", ""), kWestern), "\"Max\" <>");
}

TEST(EncodeDisplayAddress, JapaneseNameIsConvertedAndBase64Encoded) {
    const HeaderCharset japanese = {"ISO-2022-JP", 'B', true};
    // Shift_JIS 93FA 967B becomes ESC $ B F | K \ ESC ( B.
    EXPECT_EQ(EncodeDisplayAddress(item("\x93\xfa\x96\x7b", "t@example.jp"), japanese),
              "=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= <t@example.jp>");
    EXPECT_EQ(EncodeDisplayAddress(item("Tanaka", "t@example.jp"), japanese), "\"Tanaka\" <t@example.jp>");
}

TEST(EncodeAddressListText, ItemsJoinedByCommaAndBlank) {
    TIdEMailAddressList list;
    EXPECT_EQ(EncodeAddressListText(list, kWestern), "");

    list.SetAddresses("a@example.com, b@example.org");
    EXPECT_EQ(EncodeAddressListText(list, kWestern), "a@example.com, b@example.org");

    list.SetAddresses("a@example.com; b@example.org");
    EXPECT_EQ(EncodeAddressListText(list, kWestern), "a@example.com; b@example.org");

    list.SetAddresses("\"Muster, Max\" <max@example.com>, B\xfcro K\xf6ln <buero@example.de>, x@example.org");
    EXPECT_EQ(EncodeAddressListText(list, kWestern),
              "\"Muster, Max\" <max@example.com>, =?ISO-8859-1?Q?B=FCro_K=F6ln?= <buero@example.de>, "
              "x@example.org");

    list.Clear();
    list.Add(item("Team \\ Vertrieb", "team@example.com"));
    EXPECT_EQ(EncodeAddressListText(list, kWestern), "\"Team \\\\ Vertrieb\" <team@example.com>");
}

}  // namespace
}  // namespace sendrix::mail
