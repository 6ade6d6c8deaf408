// The plain-text rendering of an HTML body: tags out, text of head, style
// and script left out, paragraphs and line breaks kept, links as text,
// references decoded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/html_text.h"

namespace sendrix::mail {
namespace {

TEST(RenderHtmlAsText, KeepsTheTextParagraphsBreaksAndLinks) {
    struct Row {
        const char* what;
        std::vector<std::string> html;
        std::vector<std::string> text;
    };
    const Row rows[] = {
        {"empty", {}, {}},
        {"plain text stays", {"Hallo Welt"}, {"Hallo Welt"}},
        {"head, title and style are left out",
         {"<html><head><meta charset=\"windows-1252\"><title>T</title><style>p{}</style></head><body>",
          "<p>Text</p>", "</body></html>"},
         {"Text"}},
        {"paragraphs are separated by one empty line",
         {"<p>Eins</p>", "", "<p>Zwei</p><div>Drei</div>"},
         {"Eins", "", "Zwei", "", "Drei"}},
        {"a line break in the source is a blank, <br> a line end",
         {"Hallo Anna,<br>", "wie", "geht's?"},
         {"Hallo Anna,", "wie geht's?"}},
        {"a link keeps its target",
         {"<a href=\"https://example.org/anmeldung\">Anmeldung</a> bis Freitag"},
         {"Anmeldung (https://example.org/anmeldung) bis Freitag"}},
        {"a link that shows its target says it once",
         {"<a href='https://example.org'>https://example.org</a>"},
         {"https://example.org"}},
        {"references",
         {"5&nbsp;&euro; &ndash; Gr&uuml;&szlig;e &amp; &lt;Tag&gt; &#8364; &#x1F389; &bogus;"},
         {"5 \xE2\x82\xAC \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F"
          "e & <Tag> \xE2\x82\xAC \xF0\x9F\x8E\x89 &bogus;"}},
        {"list items", {"<ul><li>Eins</li><li>Zwei</li></ul>"}, {"- Eins", "", "- Zwei"}},
        {"comments and scripts vanish", {"a<!-- <p>nicht</p> -->b<script>x<y</script>c"}, {"abc"}},
        {"Windows-1252 bytes are read as their characters", {"<p>K\xF6ln</p>"}, {"K\xC3\xB6ln"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(RenderHtmlAsText(row.html), row.text);
    }
}

}  // namespace
}  // namespace sendrix::mail
