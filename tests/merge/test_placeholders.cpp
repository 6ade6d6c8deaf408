// Column placeholders in every text of a message, resolved once against the
// list's titles; the salutation's own placeholders beside them; the
// per-recipient attachments.
#include <gtest/gtest.h>

#include "merge/body_composition.h"
#include "merge/personal_message.h"
#include "merge/placeholders.h"
#include "merge/salutation.h"

using namespace sendrix;
using namespace sendrix::merge;

namespace {

const std::vector<std::string> kExtra = {"Mitgliedsnummer", "Beitrag", "Anhang"};

RecipientRow anna() {
    return {"+", "Schön", "Anna", "anna@example.org", "w", {"1001", "12,50 €", "a.pdf; b.pdf"}};
}

}  // namespace

TEST(Placeholders, FillsColumnsByTitleAndFixedColumnsByTheirSpellings) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"Beitrag {{Beitrag}} für {{ Mitgliedsnummer }}", "Beitrag 12,50 € für 1001"},
        {"{{beitrag}}{{BEITRAG}}", "12,50 €12,50 €"},
        {"{{Vorname}} {{Nachname}} <{{E-Mail}}> {{Typ}} {{OK}}", "Anna Schön <anna@example.org> w +"},
        {"\\{{Vorname}} bleibt", "{{Vorname}} bleibt"},
        {"%Vorname und %Name bleiben", "%Vorname und %Name bleiben"},
        {"{{ ohne Ende", "{{ ohne Ende"},
        {"{{über\nZeilen}}", "{{über\nZeilen}}"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(fillPlaceholders(c.text, anna(), kExtra, ValueStyle::Line), c.expected);
    }
}

TEST(Placeholders, AValueIsInsertedOnceAndOneLineValuesLoseTheirLineBreaks) {
    RecipientRow row = anna();
    row.vorname = "{{Beitrag}} %Name";
    row.extra[0] = "zwei\nZeilen";
    EXPECT_EQ(fillPlaceholders("{{Vorname}}", row, kExtra, ValueStyle::Line), "{{Beitrag}} %Name");
    EXPECT_EQ(fillPlaceholders("{{Mitgliedsnummer}}", row, kExtra, ValueStyle::Line), "zwei Zeilen");
    EXPECT_EQ(fillPlaceholders("{{Mitgliedsnummer}}", row, kExtra, ValueStyle::Text), "zwei\nZeilen");
    EXPECT_EQ(BuildSalutation("Hallo %Vorname %Name,", row, SalutationVariant::ListSend, kExtra),
              "Hallo {{Beitrag}} %Name Schön,");
}

TEST(Placeholders, UnknownNamesAreErrorsNeverText) {
    try {
        fillPlaceholders("Hallo {{Spitzname}}", anna(), kExtra, ValueStyle::Line);
        FAIL() << "no error";
    } catch (const PlaceholderError& error) {
        EXPECT_STREQ(error.what(),
                     "Der Platzhalter \"{{Spitzname}}\" nennt keine Spalte der Empfängerliste.");
    }
    EXPECT_THROW(withoutPlaceholders("{{Vorname}}"), PlaceholderError);
    EXPECT_EQ(withoutPlaceholders("\\{{Vorname}}"), "{{Vorname}}");
    EXPECT_EQ(placeholderNames("{{a}} \\{{b}} {{ c }}"), (std::vector<std::string>{"a", "c"}));
}

TEST(Placeholders, SalutationTakesColumnsAndTheSixthTemplateNeedsNoGender) {
    EXPECT_EQ(std::string(kSalutationTemplates[5]), "Guten Tag %Vorname %Name,");
    for (const char* typ : {"divers", "", "w", "m"}) {
        RecipientRow row = anna();
        row.typ = typ;
        EXPECT_EQ(BuildSalutation(kSalutationTemplates[5], row, SalutationVariant::ListSend),
                  "Guten Tag Anna Schön,");
    }
    EXPECT_EQ(
        BuildSalutation("Hallo %Vorname ({{Mitgliedsnummer}}),", anna(), SalutationVariant::ListSend, kExtra),
        "Hallo Anna (1001),");
    // The preview shows a placeholder being typed as it stands.
    EXPECT_EQ(BuildSalutation("Hallo {{Mitgl", anna(), SalutationVariant::Preview, kExtra), "Hallo {{Mitgl");
    EXPECT_EQ(BuildSalutation("Hallo {{X}}", anna(), SalutationVariant::Preview, kExtra), "Hallo {{X}}");
    EXPECT_THROW(BuildSalutation("Hallo {{X}}", anna(), SalutationVariant::ListSend, kExtra),
                 PlaceholderError);
}

TEST(PersonalMessage, FillsSubjectBodyAndAttachmentsFromTheRow) {
    Mailing mailing;
    mailing.subject = "Beitrag {{Mitgliedsnummer}}";
    mailing.body.useSalutation = true;
    mailing.body.salutationTemplate = "Liebe%mw %Vorname,";
    mailing.body.body = {"Ihr Beitrag: {{Beitrag}}", "Notiz: {{Notiz}}"};
    mailing.extraTitles = {"Mitgliedsnummer", "Beitrag", "Anhänge", "Notiz"};
    mailing.listFolder = "/liste";
    mailing.attachments = {"/allgemein/satzung.pdf", "/rechnungen/{{Mitgliedsnummer}}.pdf"};
    const RecipientRow row{
        "+",    "Schön",
        "Anna", "anna@example.org",
        "w",    {"1001", "12,50 €", " a.pdf ;\nunter\\b.pdf;;/abs/c.pdf ", "erste\r\nzweite"}};

    const PersonalMessage message = personalMessage(mailing, row);
    EXPECT_EQ(message.subject, "Beitrag 1001");
    EXPECT_EQ(message.body, (std::vector<std::string>{"Liebe Anna,", "", "Ihr Beitrag: 12,50 €",
                                                      "Notiz: erste", "zweite"}));
    EXPECT_EQ(message.attachments,
              (std::vector<std::string>{"/allgemein/satzung.pdf", "/rechnungen/1001.pdf", "/liste/a.pdf",
                                        "/liste/unter/b.pdf", "/abs/c.pdf"}));

    mailing.extraTitles = {"Mitgliedsnummer"};
    EXPECT_TRUE(rowAttachments(mailing, row).empty());  // no attachment column
}

TEST(BodyComposition, SingleAddressRefusesPlaceholdersAndUnescapes) {
    BodySettings settings;
    settings.body = {"Text \\{{x}}"};
    EXPECT_EQ(composeSingleAddressBody(settings), (std::vector<std::string>{"Text {{x}}"}));
    settings.body = {"Hallo {{Vorname}}"};
    EXPECT_THROW(composeSingleAddressBody(settings), PlaceholderError);
}

TEST(BodyComposition, HtmlBodyGetsItsValuesAsTextNeverAsMarkup) {
    BodySettings settings;
    settings.html = true;
    settings.body = {"<p title=\"{{Beitrag}}\">{{Beitrag}}</p>"};
    RecipientRow row = anna();
    row.extra[1] = "Müller & Söhne <GmbH> \"Bau\"";
    const std::string escaped = "Müller &amp; Söhne &lt;GmbH&gt; &quot;Bau&quot;";
    EXPECT_EQ(composeListBody(settings, row, kExtra),
              (std::vector<std::string>{kHtmlHeadLine, "<p title=\"" + escaped + "\">" + escaped + "</p>",
                                        kHtmlTailLine}));
}

TEST(Placeholders, FallbacksAndSectionsTable) {
    const std::vector<std::string> titles = {"Titel", "Abteilung"};
    const RecipientRow dr = {"+", "Strauß", "Anna", "a@x.de", "w", {"Dr.", "Jugend"}};
    const RecipientRow plain = {"+", "Weiß", "", "k@x.de", "", {" ", "Vorstand"}};
    const struct {
        const char* text;
        const char* forDr;
        const char* forPlain;
    } cases[] = {
        {"{{Vorname|Mitglied}}", "Anna", "Mitglied"},
        {"{{Titel|}}x", "Dr.x", "x"},
        {"{{#Titel}}mit {{Titel}}{{/Titel}}", "mit Dr.", ""},
        {"{{^Titel}}ohne{{/Titel}}", "", "ohne"},
        {"{{#Abteilung=jugend}}J{{/Abteilung}}{{^Abteilung = Jugend}}nicht J{{/Abteilung}}", "J", "nicht J"},
        {"{{#Titel}}{{#Abteilung=Vorstand}}beides{{/Abteilung}}{{/Titel}}.", ".", "."},
        {"A\n{{#Titel}}\nnur mit Titel\n{{/Titel}}\nB", "A\nnur mit Titel\nB", "A\nB"},
        {"\\{{#Titel}} bleibt", "{{#Titel}} bleibt", "{{#Titel}} bleibt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(fillPlaceholders(c.text, dr, titles, ValueStyle::Text), c.forDr);
        EXPECT_EQ(fillPlaceholders(c.text, plain, titles, ValueStyle::Text), c.forPlain);
    }
    const struct {
        const char* text;
        std::vector<std::string> problems;
    } faults[] = {
        {"a\n{{#Titel}}\nb", {"2: Der Abschnitt \"{{#Titel}}\" wird nicht mit \"{{/Titel}}\" geschlossen."}},
        {"{{#Titel}}\n{{/Abteilung}}",
         {"2: \"{{/Abteilung}}\" schließt keinen offenen Abschnitt dieser Spalte.",
          "1: Der Abschnitt \"{{#Titel}}\" wird nicht mit \"{{/Titel}}\" geschlossen."}},
        {"x\r\ny\n{{Spitz|z}}", {"3: Der Platzhalter \"{{Spitz}}\" nennt keine Spalte der Empfängerliste."}},
        {"{{#Titel}}{{/Titel}} {{Titel|x}}", {}},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.text);
        std::vector<std::string> found;
        for (const TemplateProblem& problem : templateProblems(f.text, titles))
            found.push_back(std::to_string(problem.line) + ": " + problem.text);
        EXPECT_EQ(found, f.problems);
    }
    EXPECT_THROW(fillPlaceholders("{{#Titel}}offen", dr, titles, ValueStyle::Line), PlaceholderError);
}
