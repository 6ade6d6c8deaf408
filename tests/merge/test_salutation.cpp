// The salutation templates, their placeholders and the three body forms.
#include "merge/salutation.h"

#include <gtest/gtest.h>

#include "merge/body_composition.h"

using namespace sendrix::merge;

namespace {

RecipientRow row(const std::string& name, const std::string& vorname, const std::string& typ) {
    return {"+", name, vorname, "x@example.org", typ};
}

struct SalutationCase {
    const char* templ;
    const char* typ;
    const char* expected;
};

}  // namespace

TEST(Salutation, ListSendTable) {
    const SalutationCase cases[] = {
        {"Sehr geehrte%m/w %Name,", "w", "Sehr geehrte Frau Muster,"},
        {"Sehr geehrte%m/w %Name,", "Frau", "Sehr geehrte Frau Muster,"},
        {"Sehr geehrte%m/w %Name,", "weiblich", "Sehr geehrte Frau Muster,"},
        {"Sehr geehrte%m/w %Name,", "Herr", "Sehr geehrter Herr Muster,"},
        {"Sehr geehrte%m/w %Name,", "Mann", "Sehr geehrter Herr Muster,"},
        {"Sehr geehrte%m/w %Name,", "m", "Sehr geehrter Herr Muster,"},
        {"Sehr geehrte%m/w %Name,", "", "Sehr geehrte Damen und Herren,"},
        {"Sehr geehrte%m/w %Name,", "X", "Sehr geehrte Damen und Herren,"},
        {"Sehr geehrte%m/w %Name,", "Dr", "Sehr geehrte Damen und Herren,"},
        {"Liebe%mw %Vorname,", "M", "Lieber Anna,"},
        {"Liebe%mw %Vorname,", "F", "Liebe Anna,"},
        {"Liebe%mw %Vorname,", "", "Liebe Anna,"},
        {"Liebe%mw %Vorname,", "X", "Liebe Anna,"},
        {"Liebe%mw %Vorname %Name,", "h", "Lieber Anna Muster,"},
        {"Hallo %Vorname,", "w", "Hallo Anna,"},
        {"Hallo %Vorname %Name,", "w", "Hallo Anna Muster,"},
        // No placeholders: unchanged; other letter case: left in the text.
        {"Guten Tag,", "w", "Guten Tag,"},
        {"Hallo %vorname %NAME,", "w", "Hallo %vorname %NAME,"},
        // Only the first occurrence is replaced.
        {"%Name und %Name", "w", "Muster und %Name"},
    };
    for (const SalutationCase& c : cases) {
        SCOPED_TRACE(std::string(c.templ) + " / " + c.typ);
        EXPECT_EQ(BuildSalutation(c.templ, row("Muster", "Anna", c.typ), SalutationVariant::ListSend),
                  c.expected);
    }
}

TEST(Salutation, DoctorTitleIsTakenOffOnlyInTheListSend) {
    for (const char* vorname : {"Dr. Hans", "dr. Hans", "DR. Hans", "Dr.Hans", "Dr.  Hans"}) {
        SCOPED_TRACE(vorname);
        EXPECT_EQ(BuildSalutation("Hallo %Vorname,", row("M", vorname, "m"), SalutationVariant::ListSend),
                  "Hallo Hans,");
        EXPECT_EQ(BuildSalutation("Hallo %Vorname,", row("M", vorname, "m"), SalutationVariant::Preview),
                  std::string("Hallo ") + vorname + ",");
        EXPECT_EQ(BuildSalutation("Hallo %Vorname,", row("M", vorname, "m"), SalutationVariant::CurrentRow),
                  std::string("Hallo ") + vorname + ",");
    }
    // Names that merely begin with "Dr" keep every letter.
    EXPECT_EQ(withoutDoctorTitle("Drago"), "Drago");
    EXPECT_EQ(withoutDoctorTitle("Dr."), "");
}

TEST(Salutation, PreviewAndCurrentRowFillTheGenderPlaceholdersLikeTheListSend) {
    for (SalutationVariant variant : {SalutationVariant::Preview, SalutationVariant::CurrentRow}) {
        EXPECT_EQ(BuildSalutation("Liebe%mw %Vorname,", row("M", "Paul", "m"), variant), "Lieber Paul,");
        EXPECT_EQ(BuildSalutation("Sehr geehrte%m/w %Name,", row("Muster", "Anna", "w"), variant),
                  "Sehr geehrte Frau Muster,");
        EXPECT_EQ(BuildSalutation("Sehr geehrte%m/w %Name,", row("Muster", "Anna", ""), variant),
                  kNeutralSalutation);
    }
    // No list: the empty row.
    EXPECT_EQ(BuildSalutation("Hallo %Vorname,", RecipientRow{}, SalutationVariant::Preview), "Hallo ,");
}

TEST(Salutation, GenderReadsTheFirstCharacterOnly) {
    EXPECT_EQ(genderOfTyp("wmx"), Gender::Woman);
    EXPECT_EQ(genderOfTyp("H"), Gender::Man);
    EXPECT_EQ(genderOfTyp(" m"), Gender::Neither);
    EXPECT_EQ(genderOfTyp("ü"), Gender::Neither);
    EXPECT_EQ(genderOfTyp(""), Gender::Neither);
}

TEST(BodyComposition, ThreeForms) {
    BodySettings settings;
    settings.useSalutation = true;
    settings.salutationTemplate = "Hallo %Vorname,";
    settings.html = true;
    settings.body = {"Zeile 1", "Zeile 2"};
    const RecipientRow anna = row("Muster", "Dr. Anna", "w");

    EXPECT_EQ(
        composeListBody(settings, anna),
        (std::vector<std::string>{kHtmlHeadLine, "Hallo Anna,", "", "Zeile 1", "Zeile 2", kHtmlTailLine}));
    EXPECT_EQ(composeSingleAddressBody(settings),
              (std::vector<std::string>{kHtmlHeadLine, "Zeile 1", "Zeile 2", kHtmlTailLine}));
    EXPECT_EQ(composeCurrentRowBody(settings, anna),
              (std::vector<std::string>{"Hallo Dr. Anna,", "", "Zeile 1", "Zeile 2"}));

    settings.useSalutation = false;
    EXPECT_EQ(composeListBody(settings, anna),
              (std::vector<std::string>{kHtmlHeadLine, "Zeile 1", "Zeile 2", kHtmlTailLine}));
    EXPECT_EQ(composeCurrentRowBody(settings, anna), settings.body);

    settings.html = false;
    EXPECT_EQ(composeListBody(settings, anna), settings.body);
    EXPECT_EQ(composeSingleAddressBody(settings), settings.body);
    EXPECT_EQ(std::string(kHtmlHeadLine),
              "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
              "charset=iso-8859-1\"></head><body>");
}

TEST(BodyComposition, ComposedSizeIsTheSizeOfTheComposedLines) {
    // Each form the pre-flight check meets: HTML lines, the salutation, a
    // value with line breaks of each kind, an escaped "{{", empty lines.
    RecipientRow anna = row("Muster", "Anna", "w");
    anna.extra = {"eins\r\nzwei\nund\rdrei", ""};
    const std::vector<std::string> titles = {"Info", "Leer"};
    struct Case {
        bool html;
        bool salutation;
        std::vector<std::string> body;
    };
    const Case cases[] = {
        {false, false, {}},
        {false, true, {"Zeile", "", "{{Info}} am Ende"}},
        {true, true, {"<p>{{Leer}}</p>", "\\{{Info}} bleibt", "{{Vorname}}\r\n{{Info}}"}},
        {true, false, {"a\nb", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.body));
        BodySettings settings;
        settings.html = c.html;
        settings.useSalutation = c.salutation;
        settings.salutationTemplate = "Liebe%mw %Vorname,";
        settings.body = c.body;
        std::size_t size = 0;
        for (const std::string& line : composeListBody(settings, anna, titles))
            size += line.size() + 2;
        EXPECT_EQ(composedListBodySize(settings, anna, titles), size);
        // Worked out once for many rows, the body gives the same.
        const ListBody body(settings, titles);
        EXPECT_EQ(body.compose(anna), composeListBody(settings, anna, titles));
        EXPECT_EQ(body.composedSize(anna), size);
    }
}

TEST(BodyComposition, WrapInParagraphOnThreeLinesAndTwice) {
    const std::vector<std::string> once = wrapInParagraph({"a", "b", "c"});
    EXPECT_EQ(once, (std::vector<std::string>{"<p>", "a<br>", "b<br>", "c<br>", "</p>"}));
    EXPECT_EQ(wrapInParagraph(once), (std::vector<std::string>{"<p>", "<p><br>", "a<br><br>", "b<br><br>",
                                                               "c<br><br>", "</p><br>", "</p>"}));
    EXPECT_EQ(wrapInParagraph({}), (std::vector<std::string>{"<p>", "</p>"}));
}

TEST(Salutation, TitlesNamedNeutralFormsAndNoGapsTable) {
    const std::vector<std::string> titles = {"Titel", "Abteilung"};
    struct Case {
        const char* templ;
        RecipientRow row;
        const char* expected;
    };
    const Case cases[] = {
        {"Sehr geehrte%m/w %Name,", {"+", "Strauß", "Anna", "a@x.de", "w", {"Dr.", ""}}, "Sehr geehrte Frau Dr. Strauß,"},
        {"Sehr geehrte%m/w %Name,", {"+", "Weber", "Jörg", "j@x.de", "Herr", {" Prof. Dr. ", ""}},
         "Sehr geehrter Herr Prof. Dr. Weber,"},
        {"Sehr geehrte%m/w %Name,", {"+", "Yılmaz", "Ece", "e@x.de", "w", {"", ""}}, "Sehr geehrte Frau Yılmaz,"},
        // First-name forms never take the title; neutral rows keep today's text.
        {"Liebe%mw %Vorname,", {"+", "Strauß", "Anna", "a@x.de", "w", {"Dr.", ""}}, "Liebe Anna,"},
        {"Sehr geehrte%m/w %Name,", {"+", "Weiß", "Kim", "k@x.de", "divers", {"", ""}}, kNeutralSalutation},
        {"Sehr geehrte%m/w/n %Name,", {"+", "Weiß", "Kim", "k@x.de", "divers", {"", ""}}, "Guten Tag Kim Weiß,"},
        {"Sehr geehrte%m/w/n %Name,", {"+", "Weiß", "Dr. Kim", "k@x.de", "", {"Dr.", ""}}, "Guten Tag Dr. Kim Weiß,"},
        {"Sehr geehrte%m/w/n %Name,", {"+", "", "", "k@x.de", "", {"", ""}}, kNeutralSalutation},
        {"Sehr geehrte%m/w/n %Name,", {"+", "Strauß", "Anna", "a@x.de", "w", {"Dr.", ""}},
         "Sehr geehrte Frau Dr. Strauß,"},
        // Column placeholders: an empty cell leaves no double blank.
        {"Sehr geehrte%m/w {{Titel}} %Name,", {"+", "Yılmaz", "Ece", "e@x.de", "w", {"", ""}},
         "Sehr geehrte Frau Yılmaz,"},
        {"Hallo {{Vorname|liebes Mitglied}} {{Abteilung}},", {"+", "N", "", "n@x.de", "", {"", ""}},
         "Hallo liebes Mitglied,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.templ + std::string(" / ") + c.row.typ + " / " + c.row.extra[0]);
        EXPECT_EQ(BuildSalutation(c.templ, c.row, SalutationVariant::ListSend, titles), c.expected);
    }
    // Without a title column every template gives today's text.
    for (const char* templ : kSalutationTemplates) {
        SCOPED_TRACE(templ);
        const RecipientRow plain = row("Muster", "Anna", "w");
        EXPECT_EQ(BuildSalutation(templ, plain, SalutationVariant::ListSend, {"Abteilung"}),
                  BuildSalutation(templ, plain, SalutationVariant::ListSend));
    }
    EXPECT_EQ(salutationTemplateName("Sehr geehrte%m/w %Name,"), "Sehr geehrte/r Frau/Herr Name,");
    EXPECT_EQ(salutationTemplateName("Liebe%mw %Vorname,"), "Liebe/r Vorname,");
    EXPECT_EQ(salutationTemplateName(kSalutationTemplates[7]), "Hallo Vorname (sonst liebes Mitglied),");
}
