// The real window offscreen with a mailing: the question about unsaved
// changes at close (every answer's logic is tested on the model), the
// placeholder menu, and the window details a user meets first (tab order,
// size on a small screen).
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QTableView>
#include <QTreeWidget>

#include "merge/mailing_file.h"

using namespace sendrix;
using test::ModalAnswerer;

namespace {

class MailingWindowTest : public test::WindowTest {
protected:
    void openWithList() {
        writeSettings();
        openWindow(
            {writeList("mitglieder.csv",
                       "Name;Vorname;E-Mail;Mitgliedsnummer\r\nMuster;Anna;anna@example.org;1001\r\n")});
    }
    // Closes as the close box does; true when the window went.
    bool closeWindow() {
        window->close();
        return !window->isVisible();
    }
};

}  // namespace

TEST_F(MailingWindowTest, CloseWithUnsavedChangesAsksAbbrechenStaysJaSaves) {
    openWithList();
    auto* subject = child<QLineEdit>("edtSubject");
    QTest::keyClicks(subject, QStringLiteral(" neu"));
    const std::string path = home.path("verein.mailing");
    {
        ModalAnswerer answerer;
        answerer.click(QMessageBox::Cancel);
        EXPECT_FALSE(closeWindow());
        ASSERT_EQ(answerer.shown.size(), 1u);
        EXPECT_EQ(answerer.shown[0].kind, "question");
        EXPECT_EQ(answerer.shown[0].text, "Änderungen am Mailing speichern?");
    }
    {
        ModalAnswerer answerer;
        answerer.click(QMessageBox::Yes);
        answerer.then([&](QWidget* widget) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Mailing speichern"));
            // The path typed into the name field and confirmed with Return.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(path));
            QTest::keyClick(name, Qt::Key_Return);
        });
        EXPECT_TRUE(closeWindow());
        EXPECT_EQ(answerer.unexpected, 0);
    }
    EXPECT_EQ(merge::readMailingFile(path).subject, "Einladung neu");
    EXPECT_EQ(merge::readMailingFile(path).listFile, home.path("mitglieder.csv"));
}

TEST_F(MailingWindowTest, ShowingTheWindowIsNoChange) {
    // The widgets get the model's values without writing anything back that
    // would count as an edit.
    openWithList();
    ModalAnswerer answerer;
    EXPECT_TRUE(closeWindow());
    EXPECT_TRUE(answerer.shown.empty());
}

TEST_F(MailingWindowTest, PlaceholderMenuOffersTheColumnsAndInsertsAtTheCursor) {
    openWithList();
    auto* subject = child<QLineEdit>("edtSubject");
    subject->setFocus();
    subject->setCursorPosition(0);
    auto* button = child<QToolButton>("Platzhalter");
    // Opens the menu with the button and picks the entry at `index` (-1 the
    // last; of its submenu the entry at `sub`); what the menu offered comes back.
    auto pick = [&](int index, int sub = -1) {
        QStringList offered;
        ModalAnswerer answerer;  // one per opening: the menu is the same widget each time
        answerer.then([&](QWidget* widget) {
            auto* menu = qobject_cast<QMenu*>(widget);
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions())
                offered << action->text();
            QAction* action = menu->actions().at(index < 0 ? menu->actions().size() - 1 : index);
            (sub < 0 ? action : action->menu()->actions().at(sub))->trigger();
            menu->close();
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(test::waitUntil(
            [&] { return answerer.pendingSteps() == 0 && !QApplication::activePopupWidget(); }));
        return offered;
    };
    EXPECT_EQ(pick(4),
              (QStringList{"{{Name}}", "{{Vorname}}", "{{Email}}", "{{Typ}}", "{{Mitgliedsnummer}}", "",
                           "Ersatz, wenn leer", QString::fromUtf8("Text nur, wenn gef\xc3\xbcllt"),
                           "Text nur, wenn leer", "Text nur, wenn gleich"}));
    EXPECT_EQ(subject->text(), QStringLiteral("{{Mitgliedsnummer}}Einladung"));
    EXPECT_EQ(form->edtSubject.Text, "{{Mitgliedsnummer}}Einladung");

    // The body, once it had the focus, takes the next one at its cursor.
    auto* body = child<QPlainTextEdit>("Memo");
    body->setFocus();
    body->setPlainText(QStringLiteral("Nr. "));
    body->moveCursor(QTextCursor::End);
    pick(1);
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"Nr. {{Vorname}}"}));
    pick(-1, 3);  // "Text nur, wenn gleich", the fourth column
    pick(7, 1);   // "Text nur, wenn gefüllt", Vorname
    EXPECT_EQ(
        form->Memo.Lines,
        (std::vector<std::string>{"Nr. {{Vorname}}{{#Typ=Wert}}Text{{/Typ}}{{#Vorname}}Text{{/Vorname}}"}));

    // The salutation's field too; its preview follows. Its templates read
    // as words, their codes in the tooltip.
    auto* salutation = child<QComboBox>("Anrede");
    EXPECT_EQ(salutation->itemText(2), QStringLiteral("Sehr geehrte/r Frau/Herr Name,"));
    EXPECT_EQ(salutation->itemData(2, Qt::ToolTipRole).toString(), QStringLiteral("Sehr geehrte%m/w %Name,"));
    salutation->lineEdit()->setFocus();
    salutation->lineEdit()->setCursorPosition(salutation->lineEdit()->text().size());
    pick(4);
    EXPECT_EQ(form->Anrede.Text, "Hallo %Vorname,{{Mitgliedsnummer}}");
}

TEST_F(MailingWindowTest, TabFollowsThePageTopToBottom) {
    openWithList();
    const char* const order[] = {"selEmailProfil", "edtto",       "edtSubject",       "edtReply",
                                 "SpeedButton1",   "cboPriority", "chkReturnReciept", "html"};
    QWidget* widget = child<QWidget>(order[0]);
    for (std::size_t i = 1; i < std::size(order); ++i) {
        SCOPED_TRACE(order[i]);
        // Skip what takes no focus from the Tab key (labels, inner parts).
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || widget->focusProxy());
        EXPECT_EQ(widget->objectName().toStdString(), order[i]);
    }
}

TEST_F(MailingWindowTest, WindowFitsTheScreenAndStretchesWithIt) {
    openWithList();
    const QRect area = window->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(window->frameGeometry())) << area.width() << "x" << area.height();
    EXPECT_LE(window->height(), 690);

    child<QTabWidget>("pnltopright")->setCurrentIndex(app::kPageEmpfaengerliste);
    auto* formColumn = child<QWidget>("pnlTopleft");
    auto* grid = child<QTableView>("empfaengerliste");
    const int column = formColumn->width();
    const int gridWidth = grid->horizontalHeader()->length();
    window->resize(window->width() + 200, window->height());
    ASSERT_TRUE(test::waitUntil([&] { return formColumn->width() > column; }));
    EXPECT_GT(grid->horizontalHeader()->length(), gridWidth);
}

TEST_F(MailingWindowTest, EditedListAsksBeforeCloseOrLoadAndTheAnswerDecides) {
    // trigger ("close" or the loading tool button), cell edited, answer
    // (0 Speichern, 1 Nicht speichern, 2 Abbrechen, -1 no question), goes on, saved.
    struct Row {
        const char* trigger;
        int column;
        const char* value;
        int answer;
        bool goesOn, saved;
    };
    const Row rows[] = {{"close", 1, "Meier", 0, true, true},
                        {"close", 1, "Meier", 2, false, false},
                        {"ToolButton1", 1, "Meier", 1, true, false},
                        {"MailingOeffnen", 1, "Meier", 2, false, false},
                        {"close", 1, "Mei;er", 0, false, false},  // the save fails: ";" in a Name
                        {"close", 0, "", -1, true, false}};       // a mark is no list edit
    const std::string original = "Muster;Anna;anna@example.org;F\r\n";
    writeSettings();
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.trigger) + " " + r.value + " " + std::to_string(r.answer));
        openWindow({writeList("liste.txt", original)});
        QAbstractItemModel* model = child<QTableView>("empfaengerliste")->model();
        model->setData(model->index(0, r.column), QString::fromUtf8(r.value));
        ModalAnswerer answerer;
        const char* const labels[] = {"Speichern", "Nicht speichern", "Abbrechen"};
        if (r.answer >= 0)
            answerer.then([&](QWidget* box) {
                for (QAbstractButton* button : qobject_cast<QMessageBox*>(box)->buttons())
                    if (button->text() == QString::fromLatin1(labels[r.answer]))
                        button->click();
            });
        const bool close = std::string(r.trigger) == "close";
        close ? void(window->close()) : QTest::mouseClick(child<QToolButton>(r.trigger), Qt::LeftButton);
        // Going on closes the window or shows the open dialog after the question.
        EXPECT_EQ(close ? !window->isVisible() : answerer.shown.size() > 1, r.goesOn);
        EXPECT_EQ(home.read("liste.txt") != original, r.saved);
        EXPECT_EQ(answerer.shown.empty() ? "" : answerer.shown[0].text,
                  r.answer < 0 ? "" : "Die Empfängerliste „liste.txt“ wurde geändert. Änderungen speichern?");
    }
}
