// The real main window offscreen: the shortcut, the tool button and the
// drop-down item reach the same send, the model's state reaches the widgets,
// the grid and its edit mode answer the mouse and keyboard, and the modal
// question, the file dialog and the setup dialog are answered as a person
// would answer them.
#include "window_fixture.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>

#include "app/mail_settings.h"
#include "platform/profile_file.h"
#include "ui/qt_text.h"

using namespace sendrix;
using namespace std::chrono_literals;
using test::ModalAnswerer;
using test::ShownBox;

namespace {

// Three members, umlauts in Windows-1252 as the lists are written.
const char* const kThreeMembers =
    "Name;Vorname;Email;Typ\r\n"
    "M\xfcller;J\xfcrgen;juergen@example.org;M\r\n"
    "Sch\xe4"
    "fer;Anna;anna@example.org;W\r\n"
    "Gro\xdf;Heinz;heinz@example.org;H\r\n";

class MainWindowTest : public test::WindowTest {
protected:
    std::string openWithList() {
        writeSettings();
        const std::string list = writeList("mitglieder.csv", kThreeMembers);
        openWindow({list});
        return list;
    }
    QString cell(int row, int col) const {
        QTableView* grid = child<QTableView>("empfaengerliste");
        return grid->model()->index(row, col).data().toString();
    }
    void showRecipientListPage() {
        auto* pages = child<QTabWidget>("pnltopright");
        QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(0).center());
        ASSERT_EQ(pages->currentIndex(), app::kPageEmpfaengerliste);
    }
    void doubleClickRow(int row) {
        QTableView* grid = child<QTableView>("empfaengerliste");
        const QRect rect = grid->visualRect(grid->model()->index(row, 1));
        ASSERT_TRUE(rect.isValid());
        // What a mouse sends: press, release, double click, release.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, rect.center());
    }
    // A window manager gives the focus back to the window when a box has
    // closed; offscreen the test does it before pressing a shortcut.
    void pressAltS() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
        QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
    }
    static std::string questionOf(const ModalAnswerer& answerer) {
        for (const ShownBox& box : answerer.shown)
            if (box.kind == "question")
                return box.text;
        return {};
    }
};

// Types `text` key by key; letters beyond ASCII come as the key of their
// capital with the letter as the event's text, as a German keyboard sends
// them.
void typeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClicks(widget, QString(ch));
        else
            QTest::sendKeyEvent(QTest::Click, widget, static_cast<Qt::Key>(ch.toUpper().unicode()),
                                QString(ch), Qt::NoModifier);
    }
}

const std::string kListQuestion =
    "Wollen Sie diese Mail an 3 Empf\xc3\xa4nger verschicken?\r\n(vorstand@example.org)";

}  // namespace

// ---- Starting the send ----

TEST_F(MainWindowTest, AltSToolButtonAndDropDownItemStartTheSameListSend) {
    openWithList();
    auto* senden = child<QToolButton>("senden");
    ASSERT_NE(senden, nullptr);

    struct Way {
        const char* name;
        bool throughMenu;
        std::function<void()> start;
    };
    const std::vector<Way> ways = {
        {"Alt+S", false, [&] { pressAltS(); }},
        {"tool button Senden", false,
         [&] { QTest::mouseClick(senden, Qt::LeftButton, {}, QPoint(6, senden->height() / 2)); }},
        // The drop-down arrow at the right end of the button opens sendmenu.
        {"an &Liste versenden", true,
         [&] {
             QTest::mouseClick(senden, Qt::LeftButton, {}, QPoint(senden->width() - 4, senden->height() / 2));
         }},
    };
    std::size_t sessions = 0;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ModalAnswerer answerer;
        if (way.throughMenu)
            answerer.then([](QWidget* menu) {
                ASSERT_EQ(menu->objectName(), QStringLiteral("sendmenu"));
                QTest::keyClick(menu, Qt::Key_L);
            });
        // The mailing went out before: the window asks first.
        if (sessions > 0)
            answerer.click(QMessageBox::Yes);
        answerer.click(QMessageBox::Yes);
        form->LastRunOutcome = app::TfrmMessageEditor::RunOutcome::None;
        // A delivered row loses its mark: each way sends the whole list again.
        window->run([this] { form->AlleMarkierenClick(); });

        way.start();

        EXPECT_EQ(answerer.pendingSteps(), 0u);
        EXPECT_EQ(answerer.unexpected, 0);
        EXPECT_EQ(answerer.shown.back().text, kListQuestion);
        EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Finished);
        // One connection per message; each ended with the client's close.
        sessions += 3;
        ASSERT_TRUE(server.waitForSessions(sessions, 10s)) << server.sessionCount();
        std::string received;
        for (std::size_t i = sessions - 3; i < sessions; ++i)
            received += server.received(i);
        for (const char* address : {"juergen@example.org", "anna@example.org", "heinz@example.org"})
            EXPECT_NE(received.find(std::string("RCPT to:<") + address + ">"), std::string::npos) << address;
        // The run shows its protocol and the finished status on the window.
        EXPECT_EQ(child<QTabWidget>("Control")->currentIndex(), app::kPageProtokoll);
        EXPECT_TRUE(child<QPlainTextEdit>("protokollmemo")
                        ->toPlainText()
                        .startsWith(QString::fromUtf8("Beginn der Mail\xc3\xbc"
                                                      "bertragung: ")));
        // Each run clears the protocol; the field shows this run's lines only.
        EXPECT_EQ(child<QPlainTextEdit>("protokollmemo")->toPlainText(),
                  ui::joinLines(form->protokollmemo.Lines));
        EXPECT_FALSE(child<QProgressBar>("Progress")->isVisible());
    }
    EXPECT_EQ(server.messages().size(), 9u);
}

TEST_F(MainWindowTest, QuestionsAnsweredNoSendNothing) {
    openWithList();
    {
        ModalAnswerer answerer;
        answerer.click(QMessageBox::No);
        pressAltS();
        EXPECT_EQ(questionOf(answerer), kListQuestion);
        EXPECT_EQ(answerer.unexpected, 0);
    }
    // A connection would have been made before the send returned.
    EXPECT_EQ(server.sessionCount(), 0u);
    EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Declined);
    EXPECT_EQ(child<QTabWidget>("Control")->currentIndex(), app::kPageMail);
    EXPECT_TRUE(child<QPlainTextEdit>("protokollmemo")->toPlainText().isEmpty());

    // An emptied subject: the question about it, answered No, brings the
    // page "Empfänger" back with the focus in the subject field.
    auto* subject = child<QLineEdit>("edtSubject");
    subject->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(subject, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(subject, Qt::Key_Backspace);
    EXPECT_EQ(form->edtSubject.Text, "");
    auto* leftPages = child<QTabWidget>("pnlTopleft");
    QTest::mouseClick(leftPages->tabBar(), Qt::LeftButton, {},
                      leftPages->tabBar()->tabRect(app::kPageKopien).center());
    ASSERT_EQ(leftPages->currentIndex(), app::kPageKopien);
    {
        ModalAnswerer answerer;
        answerer.click(QMessageBox::No);
        pressAltS();
        EXPECT_EQ(questionOf(answerer), "Wollen Sie wirklich keinen Betreff der E-mail eingeben?");
        EXPECT_EQ(answerer.unexpected, 0);
    }
    EXPECT_EQ(server.sessionCount(), 0u);
    EXPECT_EQ(leftPages->currentIndex(), app::kPageEmpfaenger);
    EXPECT_EQ(window->focusWidget(), subject);
}

// ---- The recipient grid ----

TEST_F(MainWindowTest, ChosenListShowsItsRowsAndTheCountInThePageCaption) {
    writeSettings();
    const std::string list = writeList("mitglieder.csv", kThreeMembers);
    openWindow();
    auto* pages = child<QTabWidget>("pnltopright");
    EXPECT_EQ(pages->tabText(app::kPageEmpfaengerliste), QString::fromUtf8("Empf\xc3\xa4ngerliste"));
    EXPECT_EQ(window->findChild<QAction*>(QStringLiteral("editliste")), nullptr);
    EXPECT_FALSE(child<QAction>("ListeSpeichern1")->isEnabled());

    ModalAnswerer answerer;
    answerer.then([&](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        ASSERT_NE(dialog, nullptr) << widget->metaObject()->className();
        // The path typed into the name field and confirmed with Return.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(list));
        QTest::keyClick(name, Qt::Key_Return);
    });
    auto* verteiler = child<QToolButton>("ToolButton1");
    QTest::mouseClick(verteiler, Qt::LeftButton);
    ASSERT_EQ(answerer.shown.size(), 1u);
    EXPECT_EQ(answerer.shown[0].title,
              "Verteilerliste \xc3\xb6"
              "ffnen");

    EXPECT_EQ(pages->tabText(app::kPageEmpfaengerliste), QString::fromUtf8("Empf\xc3\xa4ngerliste (3)"));
    QTableView* grid = child<QTableView>("empfaengerliste");
    ASSERT_EQ(grid->model()->rowCount(), 3);
    QStringList titles;
    for (int col = 0; col < grid->model()->columnCount(); ++col)
        titles << grid->model()->headerData(col, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"OK", "Name", "Vorname", "Email", "Typ"}));
    EXPECT_EQ(cell(0, 1), QString::fromUtf8("M\xc3\xbcller"));
    EXPECT_EQ(cell(1, 1), QString::fromUtf8("Sch\xc3\xa4"
                                            "fer"));
    EXPECT_EQ(cell(2, 3), QStringLiteral("heinz@example.org"));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(cell(row, 0), QStringLiteral("+"));
    // The list's own widths reach the header.
    EXPECT_EQ(grid->columnWidth(3), form->empfaengerliste.ColWidths[3]);

    auto* edtto = child<QComboBox>("edtto");
    EXPECT_EQ(edtto->currentText(), QString::fromUtf8("*Empf\xc3\xa4ngerliste*"));
    EXPECT_FALSE(edtto->isEnabled());
    // A loaded list can be saved.
    EXPECT_TRUE(child<QAction>("ListeSpeichern1")->isEnabled());
}

TEST_F(MainWindowTest, DoubleClickTogglesTheMarkAndUnmarkedRowsAreNotSent) {
    openWithList();
    showRecipientListPage();

    doubleClickRow(1);
    EXPECT_EQ(cell(1, 0), QString());
    EXPECT_EQ(form->empfaengerliste.Cells[2][0], "");
    EXPECT_EQ(cell(0, 0), QStringLiteral("+"));
    EXPECT_EQ(cell(2, 0), QStringLiteral("+"));
    doubleClickRow(1);
    EXPECT_EQ(cell(1, 0), QStringLiteral("+"));
    doubleClickRow(0);
    EXPECT_EQ(cell(0, 0), QString());

    ModalAnswerer answerer;
    answerer.click(QMessageBox::Yes);
    pressAltS();
    EXPECT_EQ(answerer.unexpected, 0);
    ASSERT_TRUE(server.waitForSessions(2, 10s));
    const std::string received = allReceived();
    EXPECT_EQ(received.find("juergen@example.org"), std::string::npos);
    EXPECT_NE(received.find("RCPT to:<anna@example.org>"), std::string::npos);
    EXPECT_NE(received.find("RCPT to:<heinz@example.org>"), std::string::npos);
    EXPECT_EQ(server.messages().size(), 2u);
}

TEST_F(MainWindowTest, PreflightBoxLeavesOutTheFaultyRowsAndSendsTheRest) {
    openWithList();
    window->run([this] { form->empfaengerliste.Cells[2][3] = "anna example.org"; });
    ModalAnswerer answerer;
    answerer.then([](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QString::fromUtf8("Fehlerhafte Zeilen abw\xc3\xa4hlen und senden"))
                QTest::mouseClick(button, Qt::LeftButton);
    });
    answerer.click(QMessageBox::Yes);
    pressAltS();
    EXPECT_EQ(answerer.unexpected, 0);
    ASSERT_TRUE(server.waitForSessions(2, 10s));
    EXPECT_EQ(allReceived().find("anna"), std::string::npos);
    EXPECT_EQ(cell(1, 0), QString());
}

TEST_F(MainWindowTest, GridNumbersRowsAsTheFileSearchFiltersSpaceAndButtonsChangeMarks) {
    openWithList();
    showRecipientListPage();
    QTableView* grid = child<QTableView>("empfaengerliste");
    // The title row is line 1 of the file.
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(grid->model()->headerData(row, Qt::Vertical).toInt(), row + 2);

    // The search keeps Anna's row only; Space toggles her mark in the list.
    QTest::keyClicks(child<QLineEdit>("suche"), QStringLiteral("ANNA"));
    ASSERT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Vertical).toInt(), 3);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(0, 1)).center());
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(form->empfaengerliste.Cells[2][0], "");
    EXPECT_EQ(cell(0, 0), QString());
    child<QLineEdit>("suche")->clear();
    ASSERT_EQ(grid->model()->rowCount(), 3);

    window->run([this] { form->empfaengerliste.Cells[3][3] = "heinz example.org"; });
    child<QPushButton>("AlleAuswaehlen")->click();
    child<QPushButton>("FehlerhafteAbwaehlen")->click();
    EXPECT_EQ((QStringList{cell(0, 0), cell(1, 0), cell(2, 0)}), (QStringList{"+", "+", ""}));
    child<QPushButton>("KeineAuswaehlen")->click();
    EXPECT_EQ(cell(0, 0), QString());

    // An address typed in place is checked at once, as loading checks it.
    const QModelIndex anna = grid->model()->index(1, 3);
    EXPECT_FALSE(anna.data(Qt::BackgroundRole).isValid());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(anna).center());
    QTest::keyClick(grid, Qt::Key_F2);
    QWidget* editor = grid->indexWidget(anna);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("anna example.org"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(test::waitUntil([&] { return grid->indexWidget(anna) == nullptr; }));
    EXPECT_EQ(form->empfaengerliste.Cells[2][3], "anna example.org");
    EXPECT_TRUE(anna.data(Qt::BackgroundRole).isValid());
    EXPECT_EQ(anna.data(Qt::ToolTipRole).toString(), QStringLiteral("Fehlerhafte Mailadresse"));
}

TEST_F(MainWindowTest, CellsAreEditedInPlaceAndListeSpeichernWritesThemBack) {
    const std::string list = openWithList();
    showRecipientListPage();
    QTableView* grid = child<QTableView>("empfaengerliste");
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectItems);

    // A cell typed over lands in the model's grid.
    const QModelIndex vorname = grid->model()->index(1, 2);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(vorname).center());
    QTest::keyClick(grid, Qt::Key_F2);
    QWidget* editor = grid->indexWidget(vorname);
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(QApplication::focusWidget(), editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    typeText(editor, QString::fromUtf8("J\xc3\xb6rg"));
    QTest::keyClick(editor, Qt::Key_Return);
    // The item delegate commits and closes its editor from the event loop.
    EXPECT_TRUE(test::waitUntil([&] { return grid->indexWidget(vorname) == nullptr; }));
    EXPECT_EQ(form->empfaengerliste.Cells[2][2], "J\xc3\xb6rg");
    EXPECT_EQ(cell(1, 2), QString::fromUtf8("J\xc3\xb6rg"));

    // The list file gets the edited row, in its own encoding; the rest as it was.
    child<QPushButton>("ListeSpeichern")->click();
    std::string saved = kThreeMembers;
    saved.replace(saved.find("Anna;"), 4, "J\xf6rg");
    EXPECT_EQ(test::TempFolder::readPath(list), saved);
}

// ---- Model state on the widgets ----

TEST_F(MainWindowTest, ProfileBoxHidesWithShowprofilZeroWhileItsLabelStays) {
    struct Row {
        const char* name;
        std::string options;
        bool boxVisible;
    };
    for (const Row& row : {Row{"default", "", true}, Row{"showprofil 0", "showprofil=0\r\n", false},
                           Row{"showprofil 1", "showprofil=1\r\n", true}}) {
        SCOPED_TRACE(row.name);
        writeSettings(row.options);
        openWindow();
        ASSERT_EQ(child<QTabWidget>("pnlTopleft")->currentIndex(), app::kPageEmpfaenger);
        auto* label = child<QLabel>("lblProfil");
        EXPECT_TRUE(label->isVisible());
        EXPECT_EQ(label->text(), QStringLiteral("Profil"));
        EXPECT_EQ(child<QComboBox>("selEmailProfil")->isVisible(), row.boxVisible);
        // The rows below keep their places: the recipient field stays shown.
        EXPECT_TRUE(child<QComboBox>("edtto")->isVisible());
    }
}

// ---- The setup dialog ----

TEST_F(MainWindowTest, SetupDialogStoresWhatWasTypedAndTheCloseBoxStoresNothing) {
    writeSettings();
    openWindow();
    const std::string mailIni = home.path("Mail.ini");

    auto typeInto = [](QWidget* dialog, const char* name, const QString& text) {
        auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
        ASSERT_NE(edit, nullptr) << name;
        edit->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        typeText(edit, text);
    };

    std::string shownServer;
    {
        ModalAnswerer answerer;
        answerer.then([&](QWidget* dialog) {
            ASSERT_EQ(dialog->objectName(), QStringLiteral("fmSetup"));
            shownServer = dialog->findChild<QLineEdit*>("SMTPServer")->text().toStdString();
            // Every port number fits its field: the text area is the width
            // less the frame and the field's own margins (2 + 2 each side).
            auto* port = dialog->findChild<QLineEdit*>("SMTPPort");
            EXPECT_LE(port->fontMetrics().horizontalAdvance(QStringLiteral("65535")), port->width() - 8);
            typeInto(dialog, "SMTPServer", QStringLiteral("smtp.example.org"));
            typeInto(dialog, "SMTPPort", QStringLiteral("2525"));
            typeInto(dialog, "edtAccount", QStringLiteral("verein"));
            typeInto(dialog, "edtPassword", QString::fromUtf8("g\xc3\xa9heim"));
            typeInto(dialog, "sentobjects", QStringLiteral("./archiv"));
            auto* type = dialog->findChild<QComboBox*>("cboAuthType");
            ASSERT_EQ(type->currentIndex(), 0);
            type->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(type, Qt::Key_Down);
            QTest::mouseClick(dialog->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
        });
        child<QAction>("Optionen1")->trigger();
        ASSERT_EQ(answerer.shown.size(), 1u);
        EXPECT_EQ(answerer.shown[0].title, "E-Mail-Konto");
        EXPECT_EQ(answerer.pendingSteps(), 0u);
    }
    EXPECT_EQ(shownServer, "127.0.0.1");
    using platform::readProfileString;
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "ServerName", ""), "smtp.example.org");
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "ServerPort", ""), "2525");
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "ServerUser", ""), "verein");
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "SMTPAuthenticationType", ""), "1");
    EXPECT_NE(readProfileString(mailIni, "Smtp", "ServerPassword", ""), "g\xc3\xa9heim");
    app::TMailSettings reread;
    app::ReadSmtpAccount(mailIni, reread);
    EXPECT_EQ(reread.ServerPassword, "g\xc3\xa9heim");
    EXPECT_EQ(form->MailSettings.ServerName, "smtp.example.org");
    EXPECT_EQ(form->MailSettings.ServerPort, 2525);
    EXPECT_EQ(form->MailSettings.ServerUser, "verein");
    EXPECT_EQ(form->MailSettings.ServerPassword, "g\xc3\xa9heim");
    EXPECT_EQ(form->MailSettings.SMTPAuthenticationType, 1);
    EXPECT_EQ(form->MailSettings.SentObjects, "./archiv");

    // Again from the tool button "Optionen": a new dialog with the stored
    // values; typed over and closed with the close box, nothing is kept.
    const std::string before = home.read("Mail.ini");
    {
        ModalAnswerer answerer;
        answerer.then([&](QWidget* dialog) {
            shownServer = dialog->findChild<QLineEdit*>("SMTPServer")->text().toStdString();
            typeInto(dialog, "SMTPServer", QStringLiteral("anders.example.org"));
            typeInto(dialog, "SMTPPort", QStringLiteral("26"));
            typeInto(dialog, "sentobjects", QStringLiteral("/tmp/anders"));
            dialog->close();
        });
        QTest::mouseClick(child<QToolButton>("ToolButton3"), Qt::LeftButton);
        ASSERT_EQ(answerer.shown.size(), 1u);
        EXPECT_EQ(answerer.pendingSteps(), 0u);
    }
    EXPECT_EQ(shownServer, "smtp.example.org");
    EXPECT_EQ(home.read("Mail.ini"), before);
    EXPECT_EQ(form->MailSettings.ServerName, "smtp.example.org");
    EXPECT_EQ(form->MailSettings.ServerPort, 2525);
    EXPECT_EQ(form->MailSettings.SentObjects, "./archiv");
}
