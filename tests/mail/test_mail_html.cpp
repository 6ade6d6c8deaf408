// What the composer and a pasted clip become on the wire: inline styles
// only, relative font sizes, nothing a mail program mishandles.
#include <gtest/gtest.h>

#include "mail/mail_html.h"
#include "support/test_data.h"

using namespace sendrix::mail;

namespace {

std::string fixture(const std::string& name) {
    return sendrix::test::testData("composer/" + name);
}

}  // namespace

TEST(MailHtml, EditorDocumentKeepsItsFormattingInlineWithoutQtProperties) {
    EXPECT_EQ(
        ToMailHtml(fixture("qt_document.html")),
        "<h1 style=\"margin:0px\"><span style=\"font-size:xx-large; font-weight:700\">Einladung</span></h1>\n"
        "<p style=\"margin:0px\">Hallo {{Vorname}}, <span style=\"font-weight:700\">fett</span> &nbsp;und "
        "<a href=\"https://example.org/anmeldung\"><span style=\"text-decoration:underline; "
        "color:#0000ff\">Anmeldung</span></a>.<span style=\"font-size:200%\"> gross</span></p>\n"
        "<p style=\"margin:0px\"><img src=\"/tmp/logo.png\" alt=\"Vereinslogo\" width=\"120\"></p>\n"
        "<p style=\"margin:0px\"><br>\n</p>\n"
        "<ul style=\"margin:0px\">\n<li>eins</li>\n<li>zwei</li>\n</ul>");
}

TEST(MailHtml, OfficeClipKeepsStructureAndLinksAndDropsFontsScriptsAndTrackers) {
    EXPECT_EQ(
        ToMailHtml(fixture("office_clip.html")),
        "<h2>Sommerfest</h2>\n"
        "<p style=\"margin-bottom:0cm\"><span style=\"font-size:100%\"><b>Wann:</b> Samstag</span></p>\n"
        "<ul>\n<li>\n<p><i>Grillen</i></p>\n</li>\n<li>\n<p>Spiele</p>\n</li>\n</ul>\n"
        "<table border=\"1\" cellpadding=\"4\">\n<tr>\n"
        "<td><a href=\"https://verein.example/fest\">Programm</a></td>\n<td>&amp; mehr</td>\n"
        "</tr>\n</table>");
}

TEST(MailHtml, SmallCases) {
    struct Row {
        const char* name;
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"empty", "  ", ""},
        {"text is escaped", "<p>a &lt;b&gt; &amp; \"c\"</p>", "<p>a &lt;b&gt; &amp; &quot;c&quot;</p>"},
        {"px sizes against the body's pt",
         "<body style='font-size:10pt'><span style='font-size:20px'>x</span>",
         "<span style=\"font-size:150%\">x</span>"},
        {"unsafe style values", "<p style=\"color:red; background-image:url(x); width:expression(1)\">x</p>",
         "<p style=\"color:red\">x</p>"},
        {"tracking image by style", "<img src=\"t.gif\" style=\"width:1px\">", ""},
        {"font colour and center", "<center><font color=\"#f00\" face=\"Arial\">x</font></center>",
         "<div style=\"text-align:center\"><span style=\"color:#f00\">x</span>\n</div>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ToMailHtml(row.in), row.out);
    }
    const char* remote =
        "<p><img src=\"https://cdn.example/foto.jpg\" alt=\"F\"><img src=\"/tmp/a.png\" alt=\"A\"></p>";
    EXPECT_EQ(ToMailHtml(remote, RemoteImages::Drop), "<p><img src=\"/tmp/a.png\" alt=\"A\"></p>");
    EXPECT_NE(ToMailHtml(remote).find("cdn.example"), std::string::npos);
}

TEST(MailHtml, PlainTextBecomesParagraphsAndMarkupIsRecognised) {
    EXPECT_EQ(PlainTextAsHtml({"", "Hallo {{Vorname}},", "A & B  <C>", "", "", "Gruß"}),
              (std::vector<std::string>{"<p>Hallo {{Vorname}},<br>", "A &amp; B &nbsp;&lt;C&gt;</p>",
                                        "<p>Gruß</p>"}));
    EXPECT_TRUE(PlainTextAsHtml({" ", ""}).empty());
    for (const char* html : {"<p>x", "a</b>", "<br/>", "<!-- x -->"})
        EXPECT_TRUE(HoldsHtmlMarkup({"text", html})) << html;
    for (const char* text : {"a < b > c", "Müller & Söhne", "<", "x <3"})
        EXPECT_FALSE(HoldsHtmlMarkup({text})) << text;
}
