// The "Vorschau" of an HTML mailing shows what is sent: the HTML with its
// images by "cid:", the head naming the charset the message is sent in, the
// text rendering sent beside it.
#include <gtest/gtest.h>

#include "app/message_preview.h"
#include "support/temp_folder.h"

using namespace sendrix;

namespace {

merge::Mailing htmlMailing(const std::string& body) {
    merge::Mailing mailing;
    mailing.senderAddress = "fest@example.org";
    mailing.body.html = true;
    mailing.body.body = {body};
    mailing.rows = {{"+", "Schön", "Anna", "anna@example.org", "w", {}},
                    {"", "Groß", "Bernd", "bernd@example.org", "m", {}},
                    {"+", "Lee", "Kim", "kim@example.org", "", {}}};
    return mailing;
}

}  // namespace

TEST(MessagePreview, HtmlHeadLineNamesTheCharsetTheMessageIsSentIn) {
    struct Row {
        const char* text;
        const char* charset;
    };
    for (const Row& row : {Row{"Beitrag 12 €", "windows-1252"}, Row{"Łukasz", "UTF-8"}}) {
        SCOPED_TRACE(row.text);
        const app::PreviewMessage message =
            app::MessagePreview(htmlMailing(std::string("<p>") + row.text + "</p>")).Message();
        EXPECT_NE(message.html.find(std::string("charset=") + row.charset), std::string::npos)
            << message.html;
        EXPECT_EQ(message.html.find("iso-8859-1"), std::string::npos);
        EXPECT_EQ(message.head.back(), std::string("Zeichensatz: ") + row.charset);
    }
}

TEST(MessagePreview, ChosenRowShowsItsHtmlWithImagesByCidAndItsTextRendering) {
    test::TempFolder files;
    const std::string logo = files.write("logo.png", "png");
    merge::Mailing mailing =
        htmlMailing("<h1>Hallo {{Vorname}}</h1><p><img src=\"logo.png\" alt=\"Logo\"></p>");
    mailing.bodyFolder = files.folder();
    app::MessagePreview preview(mailing);
    EXPECT_EQ(preview.RowChoices(),
              (std::vector<std::string>{"Zeile 1: anna@example.org", "Zeile 3: kim@example.org"}));
    preview.Choose(1);
    const app::PreviewMessage message = preview.Message();
    EXPECT_NE(message.html.find("<h1>Hallo Kim</h1><p><img src=\"cid:bild1@sendrix\""), std::string::npos)
        << message.html;
    EXPECT_EQ(message.images.at(0).fileName, logo);
    EXPECT_EQ(message.TextPage(), (std::vector<std::string>{"Von: fest@example.org", "An: kim@example.org",
                                                            "Betreff: ", "Zeichensatz: us-ascii", "",
                                                            "Hallo Kim", "", "[Bild: Logo]"}));

    mailing.body.body = {"<img src=\"fehlt.png\">"};
    EXPECT_EQ(app::MessagePreview(mailing).Message().TextPage(),
              (std::vector<std::string>{"Das Bild " + files.folder() +
                                        "fehlt.png im Nachrichtentext ist nicht zu finden."}));
}
