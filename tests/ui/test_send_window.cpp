// The window during a send run, offscreen, against a server that holds back
// its reply to each message's final "." until the test lets it go: the
// window keeps taking events while only "Abbrechen" takes input, so nothing
// clicked or typed meanwhile is done then or replayed later; the progress
// text counts; Abbrechen (button or Escape) stops after the message in
// flight; the close box asks, stops the run and then ends the application's
// event loop. The grid shows each row's outcome and offers its marking menu.
#include "window_fixture.h"

#include <QContextMenuEvent>
#include <regex>
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

using namespace sendrix;
using namespace std::chrono_literals;
using test::ModalAnswerer;

namespace {

const char* const kThreeMembers =
    "Name;Vorname;Email;Typ\r\n"
    "Meier;Jan;jan@example.org;M\r\n"
    "Schulz;Anna;anna@example.org;W\r\n"
    "Gross;Heinz;heinz@example.org;H\r\n";

const char* const kCloseQuestion =
    "Der Versand l\xc3\xa4uft noch. Soll er nach der laufenden Mail abgebrochen und Sendrix beendet werden?";

test::SmtpBehaviour heldReplies() {
    test::SmtpBehaviour behaviour;
    behaviour.holdFinalReply = true;
    return behaviour;
}

// Steps run from the event loop while the send runs: each waits for its
// condition, then acts. The steps must all have come within `limit`.
class DuringRun {
public:
    explicit DuringRun(std::chrono::milliseconds limit = 20s)
        : m_deadline(std::chrono::steady_clock::now() + limit) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    void when(std::function<bool()> ready, std::function<void()> act) {
        m_steps.push_back({std::move(ready), std::move(act)});
    }
    std::size_t pending() const { return m_steps.size(); }

private:
    void poll() {
        if (m_steps.empty() || m_busy)
            return;
        if (std::chrono::steady_clock::now() > m_deadline) {
            m_timer.stop();
            ADD_FAILURE() << "a step during the run never became ready";
            return;
        }
        if (!m_steps.front().first())
            return;
        auto act = std::move(m_steps.front().second);
        m_steps.pop_front();
        // An act may open a box and run its loop, where this timer fires on.
        m_busy = true;
        act();
        m_busy = false;
    }

    std::deque<std::pair<std::function<bool()>, std::function<void()>>> m_steps;
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_busy = false;
};

class SendWindowTest : public test::WindowTest {
protected:
    SendWindowTest() : WindowTest(heldReplies()) {}

    void openWithList() {
        writeSettings();
        openWindow({writeList("mitglieder.csv", kThreeMembers)});
    }
    QString cell(int row, int col) const {
        return child<QTableView>("empfaengerliste")->model()->index(row, col).data().toString();
    }
    // The status column comes after the five fixed ones.
    QString status(int row) const { return cell(row, app::TStringGrid::ColCount); }
    void pressAltS() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
        QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
    }
    static int questions(const ModalAnswerer& answerer) {
        int count = 0;
        for (const test::ShownBox& box : answerer.shown)
            count += box.kind == "question";
        return count;
    }
    // The server has reached the hold of message `n` (1-based).
    std::function<bool()> holding(std::size_t n) {
        return [this, n] { return server.holdsReached() == n; };
    }
};

}  // namespace

TEST_F(SendWindowTest, InputDuringASlowRunIsDroppedAndTheProgressCounts) {
    openWithList();
    auto* senden = child<QToolButton>("senden");
    auto* subject = child<QLineEdit>("edtSubject");
    auto* leftPages = child<QTabWidget>("pnlTopleft");
    auto* bodyPages = child<QTabWidget>("Control");
    auto* progress = child<QProgressBar>("Progress");
    auto* abbrechen = child<QPushButton>("btnAbbrechen");
    EXPECT_FALSE(abbrechen->isVisible());

    ModalAnswerer answerer;
    answerer.click(QMessageBox::Yes);
    DuringRun during;
    std::vector<QString> counts;
    for (std::size_t message = 1; message <= 3; ++message)
        during.when(holding(message), [&, message] {
            counts.push_back(progress->text());
            if (message == 1) {
                EXPECT_TRUE(progress->isVisible());
                EXPECT_TRUE(abbrechen->isVisible());
                EXPECT_TRUE(abbrechen->isEnabled());
                // A person tries everything while the server is slow: the
                // button and its arrow, the shortcut, typing, the page tabs.
                QTest::mouseClick(senden, Qt::LeftButton, {}, QPoint(6, senden->height() / 2));
                QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
                QTest::mouseClick(senden, Qt::LeftButton, {},
                                  QPoint(senden->width() - 4, senden->height() / 2));
                QTest::keyClicks(subject, "xyz");
                QTest::mouseClick(leftPages->tabBar(), Qt::LeftButton, {},
                                  leftPages->tabBar()->tabRect(app::kPageKopien).center());
                QTest::mouseClick(bodyPages->tabBar(), Qt::LeftButton, {},
                                  bodyPages->tabBar()->tabRect(app::kPageMail).center());
                EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
            }
            server.release();
        });

    pressAltS();

    EXPECT_EQ(during.pending(), 0u);
    EXPECT_EQ(counts, (std::vector<QString>{"0 von 3", "1 von 3", "2 von 3"}));
    EXPECT_EQ(form->Progress.Caption, "3 von 3");
    EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Finished);
    // Nothing of what was tried meanwhile happens afterwards.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(questions(answerer), 1);
    EXPECT_EQ(answerer.unexpected, 0);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(subject->text(), QStringLiteral("Einladung"));
    EXPECT_EQ(form->edtSubject.Text, "Einladung");
    EXPECT_EQ(leftPages->currentIndex(), app::kPageEmpfaenger);
    EXPECT_EQ(bodyPages->currentIndex(), app::kPageProtokoll);
    ASSERT_TRUE(server.waitForSessions(3, 10s));
    EXPECT_EQ(server.messages().size(), 3u);
    EXPECT_EQ(server.sessionCount(), 3u);
    // The input is back, "Abbrechen" gone; the grid shows the outcomes.
    EXPECT_TRUE(senden->isEnabled());
    EXPECT_TRUE(subject->isEnabled());
    EXPECT_TRUE(child<QAction>("Senden1")->isEnabled());
    EXPECT_FALSE(abbrechen->isVisible());
    EXPECT_FALSE(progress->isVisible());
    auto* grid = child<QTableView>("empfaengerliste");
    EXPECT_EQ(grid->model()->headerData(app::TStringGrid::ColCount, Qt::Horizontal).toString(),
              QStringLiteral("Status"));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(status(row), QStringLiteral("versendet 14:05:31")) << row;
        EXPECT_EQ(cell(row, 0), QString()) << row;
    }
}

TEST_F(SendWindowTest, AbbrechenAndEscapeStopAfterTheMessageInFlight) {
    openWithList();
    auto* abbrechen = child<QPushButton>("btnAbbrechen");
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"button", [&] { QTest::mouseClick(abbrechen, Qt::LeftButton); }},
        {"Escape",
         [&] {
             // Offscreen no window manager gives the focus back after the
             // question; a person's desktop does.
             window->activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
             QTest::keyClick(window.get(), Qt::Key_Escape);
         }},
    };
    std::size_t sent = 0;
    // The second stop continues the run the first one left: the row it
    // delivered stays out and keeps its status.
    const char* const stoppedLines[] = {"14:05:31: Versand abgebrochen: 1 von 3 versendet, 2 noch zu senden.",
                                        "14:05:31: Versand abgebrochen: 1 von 2 versendet, 1 noch zu senden."};
    for (const auto& [name, stop] : ways) {
        SCOPED_TRACE(name);
        window->run([this] { form->AlleMarkierenClick(); });
        ModalAnswerer answerer;
        answerer.click(QMessageBox::Yes);
        DuringRun during;
        during.when(holding(sent + 1), [&] {
            stop();
            EXPECT_TRUE(form->StopRequested);
            // Asked once is enough: the button takes no second click.
            EXPECT_FALSE(abbrechen->isEnabled());
            server.release();
        });

        pressAltS();

        ++sent;
        EXPECT_EQ(during.pending(), 0u);
        EXPECT_EQ(answerer.unexpected, 0);
        ASSERT_TRUE(server.waitForSessions(sent, 10s));
        EXPECT_EQ(server.messages().size(), sent);
        const std::string stopped = stoppedLines[sent - 1];
        const std::vector<std::string>& protocol = form->protokollmemo.Lines;
        EXPECT_NE(std::find(protocol.begin(), protocol.end(), stopped), protocol.end());
        EXPECT_EQ(child<QLabel>("StatusBar1Panel1")->text().toStdString(), stopped);
        for (int row = 0; row < 3; ++row) {
            const bool delivered = row < static_cast<int>(sent);
            EXPECT_EQ(cell(row, 0), delivered ? QString() : QStringLiteral("+")) << row;
            EXPECT_EQ(status(row), delivered ? QStringLiteral("versendet 14:05:31") : QString()) << row;
        }
        EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Incomplete);
        EXPECT_FALSE(abbrechen->isVisible());
    }
}

TEST_F(SendWindowTest, CloseBoxDuringARunStopsItAndEndsTheApplication) {
    openWithList();
    ModalAnswerer answerer(60s);
    answerer.click(QMessageBox::Yes);  // the list
    answerer.click(QMessageBox::Yes);  // stop and end
    DuringRun during;
    bool openAfterTheQuestion = false;
    during.when(holding(1), [&] {
        window->close();  // the close box
        openAfterTheQuestion = window->isVisible();
        server.release();
    });
    bool timedOut = false;
    QTimer::singleShot(0, window.get(), [this] { pressAltS(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QApplication::exit(3);
    });
    guard.start(30000);

    // The program's own event loop: it must end by itself.
    const int status = QApplication::exec();

    EXPECT_FALSE(timedOut);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(during.pending(), 0u);
    EXPECT_TRUE(openAfterTheQuestion);
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(answerer.shown.size(), 2u);
    EXPECT_EQ(answerer.shown[1].text, kCloseQuestion);
    ASSERT_TRUE(server.waitForSessions(1, 10s));
    EXPECT_EQ(server.messages().size(), 1u);
    EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Incomplete);
}

TEST_F(SendWindowTest, CloseBoxAnsweredNoLetsTheRunGoOn) {
    openWithList();
    ModalAnswerer answerer;
    answerer.click(QMessageBox::Yes);  // the list
    answerer.click(QMessageBox::No);   // go on
    DuringRun during;
    for (std::size_t message = 1; message <= 3; ++message)
        during.when(holding(message), [&, message] {
            if (message == 1)
                window->close();
            server.release();
        });

    pressAltS();

    EXPECT_EQ(during.pending(), 0u);
    ASSERT_EQ(answerer.shown.size(), 2u);
    EXPECT_EQ(answerer.shown[1].text, kCloseQuestion);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Finished);
    ASSERT_TRUE(server.waitForSessions(3, 10s));
    EXPECT_EQ(server.messages().size(), 3u);
}

TEST_F(SendWindowTest, TheGridsMenuMarksAllRowsOrNone) {
    openWithList();
    auto* grid = child<QTableView>("empfaengerliste");
    const auto pickFromMenu = [&](const char* item) {
        ModalAnswerer answerer;
        answerer.then([item](QWidget* widget) {
            auto* menu = qobject_cast<QMenu*>(widget);
            ASSERT_NE(menu, nullptr) << widget->metaObject()->className();
            for (QAction* action : menu->actions())
                if (action->text() == QString::fromUtf8(item)) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            ADD_FAILURE() << "no menu item " << item;
            menu->close();
        });
        const QPoint at = grid->visualRect(grid->model()->index(0, 1)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid->viewport(), &event);
        EXPECT_EQ(answerer.pendingSteps(), 0u);
        EXPECT_EQ(answerer.unexpected, 0);
    };

    pickFromMenu("Keine markieren");
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(cell(row, 0), QString()) << row;
    pickFromMenu("Alle markieren");
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(cell(row, 0), QStringLiteral("+")) << row;
    // No list send ran yet: no status column.
    EXPECT_EQ(grid->model()->columnCount(), app::TStringGrid::ColCount);
}

namespace {

test::SmtpBehaviour firstRecipientRefused() {
    test::SmtpBehaviour behaviour;
    behaviour.refuseRcptNumber = 1;
    behaviour.refuseRcptReply = "553 5.1.3 malformed address";
    return behaviour;
}

class RefusalWindowTest : public test::WindowTest {
protected:
    RefusalWindowTest() : WindowTest(firstRecipientRefused()) {}
};

}  // namespace

// The question is asked on the window's thread while the run waits on its
// own, and the answer goes back to the run.
TEST_F(RefusalWindowTest, ARefusedRecipientIsAskedAboutAndTheRunGoesOnWithTheNext) {
    writeSettings();
    openWindow({writeList("mitglieder.csv", kThreeMembers)});
    ModalAnswerer answerer;
    answerer.click(QMessageBox::Yes);  // the list
    answerer.click(QMessageBox::Yes);  // go on after the refusal
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
    QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);

    EXPECT_EQ(answerer.pendingSteps(), 0u);
    EXPECT_EQ(answerer.unexpected, 0);
    ASSERT_EQ(answerer.shown.size(), 2u);
    EXPECT_NE(answerer.shown[1].text.find("553 5.1.3 malformed address"), std::string::npos);
    EXPECT_TRUE(
        answerer.shown[1].text.ends_with("Mit dem n\xc3\xa4"
                                         "chsten Empf\xc3\xa4nger fortfahren?"));
    ASSERT_TRUE(server.waitForSessions(3, 10s));
    EXPECT_EQ(server.messages().size(), 2u);
    EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Incomplete);
    auto* grid = child<QTableView>("empfaengerliste")->model();
    const int status = app::TStringGrid::ColCount;
    EXPECT_EQ(grid->index(0, status).data().toString(),
              QStringLiteral("Fehler: 553 5.1.3 malformed address"));
    EXPECT_EQ(grid->index(0, 0).data().toString(), QStringLiteral("+"));
    EXPECT_EQ(grid->index(1, status).data().toString(), QStringLiteral("versendet 14:05:31"));
    EXPECT_TRUE(child<QToolButton>("senden")->isEnabled());
}

// The run record through the window's life: stopped, continued, saved,
// reopened, finished, and asked about before going out again.
TEST_F(SendWindowTest, AStoppedMailingReopensWithItsOutcomesAndSendsOnlyTheOpenRows) {
    openWithList();
    auto* abbrechen = child<QPushButton>("btnAbbrechen");
    const std::string sender = "\r\n(vorstand@example.org)";
    // Each send: the questions it asks, answered Yes, and the message after
    // which "Abbrechen" stops it (0: none).
    const auto sendOnce = [&](const std::vector<std::string>& questions, std::size_t stopAt) {
        ModalAnswerer answerer;
        for (std::size_t i = 0; i < questions.size(); ++i)
            answerer.click(QMessageBox::Yes);
        DuringRun during;
        for (std::size_t n = server.holdsReached() + 1; n <= 3; ++n)
            during.when(holding(n), [&, n] {
                if (n == stopAt)
                    QTest::mouseClick(abbrechen, Qt::LeftButton);
                server.release();
            });
        pressAltS();
        std::vector<std::string> shown;
        for (const test::ShownBox& box : answerer.shown)
            shown.push_back(box.text);
        EXPECT_EQ(shown, questions);
    };

    sendOnce({"Wollen Sie diese Mail an 3 Empfänger verschicken?" + sender}, 1);
    sendOnce({"Wollen Sie diese Mail an 2 Empfänger verschicken? (1 haben sie bereits erhalten)" + sender}, 2);
    // The continuation kept what the first session showed.
    EXPECT_EQ(status(0), QStringLiteral("versendet 14:05:31"));
    EXPECT_EQ(status(1), QStringLiteral("versendet 14:05:31"));
    const std::string mailing = home.path("rundbrief.mailing");
    ASSERT_TRUE(window->run([&] { form->SaveMailing(mailing); }));

    openWindow({mailing});
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(status(row), row < 2 ? QStringLiteral("versendet 14:05:31") : QString()) << row;
        EXPECT_EQ(cell(row, 0), row < 2 ? QString() : QStringLiteral("+")) << row;
    }
    EXPECT_EQ(child<QLabel>("StatusBar1Panel1")->text().toStdString(),
              "Dieses Mailing wurde am 08.03.2026 um 14:05 an 2 von 3 Empfängern versendet; 1 ist noch offen.");
    sendOnce({"Wollen Sie diese Mail an 1 Empfänger verschicken? (2 haben sie bereits erhalten)" + sender}, 0);
    EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Finished);
    EXPECT_EQ(server.messages().size(), 3u);

    // One result file for the run: every row once, with its latest outcome.
    // Each delivered row names its Message-ID, which differs from run to run.
    EXPECT_EQ(std::regex_replace(home.read("Ergebnisse/20260308_140531-Einladung.csv"),
                                 std::regex(";(<[^>\r\n]+>)?\r\n"), "\r\n"),
              "\xEF\xBB\xBFZeile;Adresse;Ergebnis;Antwort des Servers;Message-ID\r\n"
              "2;jan@example.org;versendet;\r\n3;anna@example.org;versendet;\r\n4;heinz@example.org;versendet;\r\n");

    // Finished: going out again needs a Yes first.
    window->run([this] { form->AlleMarkierenClick(); });
    ModalAnswerer answerer;
    answerer.click(QMessageBox::No);
    pressAltS();
    ASSERT_EQ(answerer.shown.size(), 1u);
    EXPECT_EQ(answerer.shown[0].text,
              "Dieses Mailing wurde am 08.03.2026 um 14:05 an alle 3 Empfänger versendet. Noch einmal an alle "
              "senden?");
    EXPECT_EQ(form->LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Declined);
    EXPECT_EQ(server.messages().size(), 3u);
}
