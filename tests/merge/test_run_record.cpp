// The run record: its events as the send run leaves them after crashes and
// continuations, and records that are damaged, of another version or cannot
// be read or written.
#include "merge/run_record.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

using namespace sendrix;
using merge::RowResult;

namespace {

const std::string kHead = "Sendrix-Versandlauf\t1\n";
const std::string kStart =
    "2026-12-09 16:35:04\tlauf\t20261209-163504\tabc\t3\t/e/r.csv\t/l/liste.csv\tEinladung\n";

}  // namespace

TEST(RunRecord, EventsGiveEachRowItsLatestOutcomeAcrossSessions) {
    test::TempFolder folder;
    const std::string path = folder.write(
        "r.versandlauf",
        kHead + kStart + "2026-12-09 16:35:05\tpunkt\t1\ta@x.de\t<1@x>\n" +
            "2026-12-09 16:35:05\tversendet\t1\ta@x.de\t<1@x>\t250 OK\n" +
            "2026-12-09 16:35:05\tohne-kopie\t1\ta@x.de\tPostfach voll\n" +
            "2026-12-09 16:35:06\tpunkt\t2\tb@x.de\t<2@x>\n" +  // killed before the reply
            "2026-12-09 16:40:00\tfortsetzung\t20261209-163504\n" +
            "2026-12-09 16:40:00\tuebersprungen\t2\tb@x.de\tunklar\n" +
            "2026-12-09 16:40:01\tkeine-adresse\t3\n" +
            "2026-12-09 16:40:01\tabgewiesen\t4\tc@x.de\t550 nein\n" +
            "2026-12-09 16:40:02\tende\n");
    const merge::RunRecordFile record = merge::readRunRecord(path);
    ASSERT_EQ(record.runs.size(), 1u);
    const merge::RecordedRun& run = record.runs[0];
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.toSend, 3);
    EXPECT_EQ(run.resultFile, "/e/r.csv");
    EXPECT_EQ(run.delivered(), 1);
    EXPECT_TRUE(run.deliveredTo(1, "a@x.de"));
    EXPECT_FALSE(run.deliveredTo(1, "other@x.de"));
    EXPECT_TRUE(run.uncertain(2, "b@x.de"));  // skipping keeps what is known
    const std::vector<RowResult> rows = run.results();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(merge::rowStatusText(rows[0]), "versendet 16:35:05, keine Kopie in Gesendet: Postfach voll");
    EXPECT_EQ(merge::rowStatusText(rows[1]), "unklar");
    EXPECT_EQ(rows[2].state, RowResult::State::NoAddress);
    EXPECT_EQ(merge::rowStatusText(rows[3]), "Fehler: 550 nein");
    EXPECT_EQ(merge::lastRun(record, "abc"), &run);
    EXPECT_EQ(merge::lastRun(record, "other"), nullptr);
}

TEST(RunRecord, BadRecordsAreRepairedWhereSoundOrNamedWithTheirFault) {
    struct Row {
        const char* name;
        std::string text;
        const char* error;  // empty: read, with `runs` runs
        std::size_t delivered;
    };
    const std::vector<Row> rows = {
        {"line cut off by a crash", kHead + kStart + "2026-12-09 16:35:05\tversendet\t1\ta@x.de\t<1@x>\t250 OK\n" +
                                        "2026-12-09 16:35:06\tverse",
         "", 1},
        {"format line cut off", "Sendrix-Vers", "", 0},
        {"empty file", "", "", 0},
        {"another version", "Sendrix-Versandlauf\t2\n" + kStart,
         "hat das Format 2 einer anderen Sendrix-Version", 0},
        {"no record", "Name;Vorname;Email\n", "ist kein Versandlauf von Sendrix", 0},
        {"unknown event", kHead + kStart + "2026-12-09 16:35:05\tgesendet\t1\n" + "2026-12-09 16:35:06\tende\n",
         "ist in Zeile 3 beschädigt (das Ereignis \"gesendet\" ist unbekannt)", 0},
        {"field missing", kHead + kStart + "2026-12-09 16:35:05\tversendet\t1\ta@x.de\n",
         "in Zeile 3 beschädigt (das Ereignis \"versendet\" hat 2 statt 4 Felder)", 0},
        {"row no number", kHead + kStart + "2026-12-09 16:35:05\tkeine-adresse\tx\n",
         "in Zeile 3 beschädigt (die Zeile \"x\" ist keine Zahl)", 0},
        {"bad time", kHead + "2026-12-09T16:35:04\tende\n", "in Zeile 2 beschädigt (die Zeit", 0},
        {"event before any run", kHead + "2026-12-09 16:35:05\tende\n", "gehört zu keinem Lauf", 0},
        {"unknown run continued", kHead + kStart + "2026-12-09 16:35:05\tfortsetzung\t20250101-000000\n",
         "der Lauf 20250101-000000 hat nicht begonnen", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempFolder folder;
        const std::string path = folder.write("r.versandlauf", row.text);
        if (*row.error) {
            try {
                merge::RunRecordWriter writer(path);
                ADD_FAILURE() << "no error";
            } catch (const merge::RunRecordError& error) {
                EXPECT_NE(std::string(error.what()).find(row.error), std::string::npos) << error.what();
                EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
            }
            EXPECT_EQ(folder.read("r.versandlauf"), row.text);  // left as it was
            continue;
        }
        {
            merge::RunRecordWriter writer(path);
            EXPECT_EQ(std::size_t(writer.contents().runs.empty() ? 0 : writer.contents().runs[0].delivered()),
                      row.delivered);
            merge::RecordEvent event;
            event.when = platform::LocalTime{2026, 12, 9, 17, 0, 0};
            event.kind = merge::RecordEvent::Kind::Start;
            event.run = "20261209-170000";
            writer.append(event);
        }
        // The cut-off line is gone; the new event stands on a line of its own.
        const merge::RunRecordFile again = merge::readRunRecord(path);
        ASSERT_FALSE(again.runs.empty());
        EXPECT_EQ(again.runs.back().id, "20261209-170000");
        EXPECT_EQ(again.soundBytes, folder.read("r.versandlauf").size());
    }
}

TEST(RunRecord, AnUnwritableRecordIsAnErrorNamingTheFile) {
    test::TempFolder folder;
    folder.write("datei", "x");
    for (const std::string& path : {folder.path("datei/Versandlaeufe/l.versandlauf"), folder.folder()}) {
        SCOPED_TRACE(path);
        try {
            merge::RunRecordWriter writer(path);
            ADD_FAILURE() << "no error";
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find("Der Versandlauf " + path + " kann nicht geschrieben werden: "),
                      std::string::npos)
                << error.what();
        }
    }
}
