// The "Vorschau" window of the real Qt window offscreen: it steps through the
// marked rows of a list with extra columns and shows each message as its
// recipient gets it; the test mail sends the current row's message.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>

#include "support/test_data.h"
#include "window_fixture.h"

using namespace sendrix;
using namespace sendrix::test;

namespace {

class PreviewWindowTest : public WindowTest {};

const char* const kMembers =
    "\"Nachname\";\"Vorname\";\"E-Mail\";\"Geschlecht\";\"Beitrag\";\"Anhang\"\r\n"
    "\"Schön\";\"Anna\";\"anna@example.org\";\"w\";\"12,50\";\"rechnung.txt\"\r\n"
    "\"Groß\";\"Bernd\";\"bernd@example.org\";\"m\";\"3,00\";\"\"\r\n"
    "\"Lee\";\"Kim\";\"kim@example.org\";\"divers\";\"0,00\";\"\"\r\n";

}  // namespace

TEST_F(PreviewWindowTest, StepsThroughThreeRowsShowingEachPersonalMessage) {
    writeSettings("BenutzeAnrede=1\r\nAnrede=2\r\n");
    home.write("rechnung.txt", "0123456789");
    const std::string list = writeList("mitglieder.csv", kMembers);
    openWindow({list});
    form->edtSubject.Text = "Beitrag {{Beitrag}}";
    form->Memo.Lines = {"Ihr Beitrag: {{Beitrag}} Euro"};

    struct Seen {
        QString caption;
        QString text;
        bool back = false;
        bool on = false;
    };
    std::vector<Seen> seen;
    ModalAnswerer answerer;
    answerer.then([&](QWidget* dialog) {
        ASSERT_EQ(dialog->objectName(), QStringLiteral("Vorschau"));
        auto* caption = dialog->findChild<QLabel*>("lblZeile");
        auto* text = dialog->findChild<QPlainTextEdit*>("memoVorschau");
        auto* back = dialog->findChild<QPushButton*>("btnZurueck");
        auto* on = dialog->findChild<QPushButton*>("btnWeiter");
        ASSERT_TRUE(caption && text && back && on);
        auto look = [&] {
            seen.push_back({caption->text(), text->toPlainText(), back->isEnabled(), on->isEnabled()});
        };
        look();
        QTest::mouseClick(on, Qt::LeftButton);
        look();
        QTest::mouseClick(on, Qt::LeftButton);
        look();
        QTest::mouseClick(back, Qt::LeftButton);
        look();
        dialog->close();
    });
    child<QAction>("Vorschau1")->trigger();
    EXPECT_EQ(answerer.pendingSteps(), 0u);

    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].caption, QStringLiteral("Zeile 1 (1 von 3)"));
    EXPECT_EQ(
        seen[0].text.toStdString(),
        "Von: " + form->edtreal.Text + " <" + form->MailSettings.PersonalEmail + ">" +
            "\nAn: anna@example.org\nBetreff: Beitrag 12,50\nZeichensatz: windows-1252\n\n"
            "Sehr geehrte Frau Schön,\n\nIhr Beitrag: 12,50 Euro\n\nAnhänge:\n  rechnung.txt (10 Bytes)");
    EXPECT_FALSE(seen[0].back);
    EXPECT_TRUE(seen[0].on);
    EXPECT_EQ(seen[1].caption, QStringLiteral("Zeile 2 (2 von 3)"));
    EXPECT_NE(seen[1].text.indexOf(QString::fromUtf8("Sehr geehrter Herr Groß,")), -1)
        << seen[1].text.toStdString();
    EXPECT_EQ(seen[1].text.indexOf(QStringLiteral("Anhänge")), -1);
    EXPECT_EQ(seen[2].caption, QStringLiteral("Zeile 3 (3 von 3)"));
    EXPECT_NE(seen[2].text.indexOf(QStringLiteral("Sehr geehrte Damen und Herren,")), -1);
    EXPECT_TRUE(seen[2].back);
    EXPECT_FALSE(seen[2].on);
    EXPECT_EQ(seen[3].caption, QStringLiteral("Zeile 2 (2 von 3)"));
}

TEST_F(PreviewWindowTest, UnmarkedRowsAreLeftOutAndTheTestMailSendsTheCurrentRow) {
    writeSettings("BenutzeAnrede=1\r\nAnrede=2\r\n");
    home.write("rechnung.txt", "0123456789");
    const std::string list = writeList("mitglieder.csv", kMembers);
    openWindow({list});
    form->edtSubject.Text = "Beitrag {{Beitrag}}";
    form->Memo.Lines = {"Ihr Beitrag: {{Beitrag}} Euro"};
    form->empfaengerliste.Cells[2][0] = "";  // Bernd not marked

    QString caption;
    {
        ModalAnswerer answerer;
        answerer.then([&](QWidget* dialog) {
            QTest::mouseClick(dialog->findChild<QPushButton*>("btnWeiter"), Qt::LeftButton);
            caption = dialog->findChild<QLabel*>("lblZeile")->text();
            dialog->close();
        });
        child<QAction>("Vorschau1")->trigger();
    }
    EXPECT_EQ(caption, QStringLiteral("Zeile 3 (2 von 2)"));

    // The test mail goes to the address typed in, with row 1's message.
    form->empfaengerliste.Row = 1;
    ModalAnswerer input;
    input.then([](QWidget* box) {
        auto* edit = box->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        edit->setText(QStringLiteral("pruefer@example.org"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QTest::mouseClick(child<QToolButton>("SpeedButton6"), Qt::LeftButton);
    EXPECT_EQ(input.pendingSteps(), 0u);
    ASSERT_TRUE(waitUntil([&] { return allReceived().find("\r\n.\r\n") != std::string::npos; }));
    const std::string received = allReceived();
    EXPECT_NE(received.find("RCPT to:<pruefer@example.org>"), std::string::npos) << received;
    EXPECT_EQ(received.find("anna@example.org>"), std::string::npos);
    EXPECT_NE(received.find("Subject: Beitrag 12,50"), std::string::npos);
    EXPECT_NE(received.find("Sehr geehrte Frau Sch"), std::string::npos);
    EXPECT_NE(received.find("filename=\"rechnung.txt\""), std::string::npos);
}

TEST_F(PreviewWindowTest, RowChooserShowsTheRowsHtmlWithItsCidImages) {
    writeSettings("HTML=1\r\n");
    const std::string logo = home.write("wappen.png", testData("composer/wappen.png"));
    openWindow({writeList("mitglieder.csv", kMembers)});
    form->Memo.Lines = {"<h1>Hallo {{Vorname}}</h1><img src=\"" + logo + "\">"};
    ModalAnswerer answerer;
    answerer.then([&](QWidget* dialog) {
        auto* rows = dialog->findChild<QComboBox*>("cboZeile");
        auto* html = dialog->findChild<QTextBrowser*>("htmlVorschau");
        ASSERT_TRUE(rows && html);
        rows->setFocus();
        QTest::keyClick(rows, Qt::Key_Down);
        QTest::keyClick(rows, Qt::Key_Down);
        EXPECT_TRUE(html->toPlainText().startsWith(QStringLiteral("Hallo Kim")))
            << html->toPlainText().toStdString();
        html->grab();  // lays the page out, loading its images
        const QVariant image =
            html->document()->resource(QTextDocument::ImageResource, QUrl("cid:bild1@sendrix"));
        EXPECT_EQ(image.value<QImage>().size(), QSize(48, 48));
        dialog->close();
    });
    child<QAction>("Vorschau1")->trigger();
    EXPECT_EQ(answerer.pendingSteps(), 0u);
}
