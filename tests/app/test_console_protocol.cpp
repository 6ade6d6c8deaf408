// The console follows the protocol by the lines it has written and the
// clears of the protocol: every line reaches standard output exactly once,
// and a new run's lines follow the run before, however the repaints fall.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/console_interaction.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"

using namespace sendrix;

namespace {

class ConsoleProtocol : public ::testing::Test {
protected:
    ConsoleProtocol() { console.attach(form); }

    void add(const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            form.protokollmemo.Add(line);
    }
    void repaint() { console.Repaint(app::ControlId::protokollmemo); }

    std::ostringstream out;
    std::ostringstream err;
    app::ConsoleInteraction console{out, err};
    const platform::FixedClock clock{platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}};
    app::TfrmMessageEditor form{console, clock, {}};
};

TEST_F(ConsoleProtocol, WritesEachLineOnceAcrossRepaints) {
    add({"Beginn", "a"});
    repaint();
    repaint();
    add({"b"});
    console.flush();
    repaint();
    EXPECT_EQ(out.str(), "Beginn\na\nb\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(ConsoleProtocol, ANewRunIsWrittenWholeEvenWhereItRepeatsTheRunBefore) {
    add({"Beginn 1", "an anna", ""});
    repaint();
    // The second run is longer and its third line equals the last line
    // written: only the clear tells that it is a new run.
    form.protokollmemo.Clear();
    add({"Beginn 2", "an bert", "", "an clara", ""});
    repaint();
    EXPECT_EQ(out.str(), "Beginn 1\nan anna\n\nBeginn 2\nan bert\n\nan clara\n\n");

    form.protokollmemo.Clear();
    repaint();
    add({"Beginn 3"});
    repaint();
    EXPECT_EQ(out.str(), "Beginn 1\nan anna\n\nBeginn 2\nan bert\n\nan clara\n\nBeginn 3\n");
}

TEST(LogMemoFollower, RestartsOnClearAndOnLinesTakenAway) {
    app::TLogMemo memo;
    app::LogMemoFollower follower;
    struct Step {
        const char* name;
        void (*change)(app::TLogMemo&);
        bool restart;
        std::size_t first;
    };
    const Step steps[] = {
        {"nothing yet", [](app::TLogMemo&) {}, false, 0},
        {"two lines", [](app::TLogMemo& m) { m.Add("a"), m.Add("b"); }, false, 0},
        {"one more", [](app::TLogMemo& m) { m.Add("c"); }, false, 2},
        {"no change", [](app::TLogMemo&) {}, false, 3},
        {"cleared and refilled longer",
         [](app::TLogMemo& m) { m.Clear(), m.Add("1"), m.Add("2"), m.Add("3"), m.Add("4"); }, true, 0},
        {"lines taken away without Clear", [](app::TLogMemo& m) { m.Lines.resize(1); }, true, 0},
        {"then grown again", [](app::TLogMemo& m) { m.Add("5"); }, false, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change(memo);
        const app::LogMemoFollower::News news = follower.next(memo);
        EXPECT_EQ(news.restart, step.restart);
        EXPECT_EQ(news.first, step.first);
    }
}

}  // namespace

TEST_F(ConsoleProtocol, QuestionAboutSavingIsAnsweredNeinAndDeclinesNoSend) {
    EXPECT_EQ(console.YesNoCancel("Änderungen am Mailing speichern?"), app::Interaction::Answer::No);
    EXPECT_EQ(console.questionsDeclined(), 0);
    EXPECT_NE(err.str().find("Frage: Änderungen am Mailing speichern? -> Nein"), std::string::npos)
        << err.str();
}

// Counts the flushes of the stream it serves.
class FlushCountingBuffer : public std::stringbuf {
public:
    int flushes = 0;

protected:
    int sync() override {
        ++flushes;
        return std::stringbuf::sync();
    }
};

// A message's end repaints the grid, the progress bar and the protocol; its
// lines go out with the next status repaint, one write per message. Every
// other repaint, a question and the end flush at once.
TEST(ConsoleFlushes, TheRepaintsOfAMessagesEndWaitForTheNextStatusRepaint) {
    struct Row {
        app::ControlId control;
        bool flushed;
    };
    const Row rows[] = {
        {app::ControlId::empfaengerliste, false}, {app::ControlId::Progress, false},
        {app::ControlId::protokollmemo, false},   {app::ControlId::StatusBar1, true},
        {app::ControlId::Control, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.control));
        FlushCountingBuffer buffer;
        std::ostream out(&buffer);
        std::ostringstream err;
        app::ConsoleInteraction console(out, err);
        const platform::FixedClock clock{platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}};
        app::TfrmMessageEditor form(console, clock, {});
        console.attach(form);
        form.protokollmemo.Add("14:05:31: Mail ist an anna@example.org versendet worden.");
        console.Repaint(row.control);
        EXPECT_EQ(buffer.str(), "14:05:31: Mail ist an anna@example.org versendet worden.\n");
        EXPECT_EQ(buffer.flushes, row.flushed ? 1 : 0);
        console.Notice("gleich");
        EXPECT_GE(buffer.flushes, 1);
    }
}
