// The suppression list: the file as a person may write it, the rows of a
// mailing it holds back, and the report check that fills it from a mailbox
// (merge/bounce_check.h) against a run record.
#include "merge/suppression_list.h"

#include <gtest/gtest.h>

#include "merge/bounce_check.h"
#include "support/temp_folder.h"

using namespace sendrix;

namespace {

const platform::LocalTime kToday{2026, 12, 9, 18, 0, 0};

merge::RecipientRow row(const char* mark, const char* email) {
    merge::RecipientRow r;
    r.ok = mark;
    r.email = email;
    return r;
}

}  // namespace

TEST(SuppressionList, ReadsWhatAPersonWritesAndWritesOneEntryALine) {
    test::TempFolder folder;
    const std::string path = folder.write(
        "Sperrliste.txt", "# Kommentar\r\n  anna@example.org\t2026-01-02\tunzustellbar: 5.1.1 x\r\n\r\n"
                          "BERND@example.org\nkeine Adresse\nAnna@Example.org\t2026-03-04\tdoppelt\n");
    merge::SuppressionList list = merge::SuppressionList::read(path);
    ASSERT_EQ(list.entries().size(), 2u);  // the comment, the empty line, no address and the repeat left out
    EXPECT_EQ(list.entries()[0], (merge::SuppressedAddress{"anna@example.org", "2026-01-02", "unzustellbar: 5.1.1 x"}));
    ASSERT_NE(list.find(" bernd@EXAMPLE.org "), nullptr);
    EXPECT_EQ(list.find("carl@example.org"), nullptr);
    EXPECT_FALSE(list.add("ANNA@example.org", kToday, "again"));
    // A reason from a server cannot start a line of its own.
    EXPECT_TRUE(list.add("carl@example.org", kToday, "550 nein\r\nX-Evil: 1\tx"));
    list.write(path);
    EXPECT_EQ(merge::SuppressionList::read(path).entries(), list.entries());
    const std::string text = folder.read("Sperrliste.txt");
    EXPECT_NE(text.find("\ncarl@example.org\t2026-12-09\t550 nein  X-Evil: 1 x\n"), std::string::npos) << text;
    EXPECT_TRUE(merge::SuppressionList::read(folder.path("fehlt.txt")).entries().empty());
}

TEST(SuppressionList, HoldsBackMarkedRowsWithAnyOfTheirAddressesListed) {
    merge::SuppressionList list;
    list.add("anna@example.org", kToday, "abgemeldet");
    merge::Mailing mailing;
    mailing.rows = {row("+", "bernd@example.org"), row("+", "x@example.org, ANNA@example.org"),
                    row("", "anna@example.org"), row("+", "anna@example.org")};
    mailing.sourceRows = {2, 3, 4, 7};
    const std::vector<merge::SuppressedRow> hits = merge::suppressedRows(mailing, list);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].index, 1u);
    EXPECT_EQ(hits[1].index, 3u);
    EXPECT_EQ(merge::suppressedRowText(mailing, hits[1]),
              "Zeile 7: anna@example.org steht auf der Sperrliste (2026-12-09, abgemeldet)");
}

TEST(ReportCheck, MatchesReportsToRecordedRowsAndFindsUnsubscribeRequests) {
    merge::RunRecordFile record;
    record.runs.emplace_back();
    record.runs[0].id = "20261209-163504";
    for (int i = 1; i <= 3; ++i) {
        merge::RowResult& r = record.runs[0].rows[i];
        r.row = i;
        r.address = "r" + std::to_string(i) + "@example.org";
        r.state = i == 3 ? merge::RowResult::State::Bounced : merge::RowResult::State::Delivered;
        r.messageId = "<" + std::to_string(i) + "@example.org>";
    }
    const auto report = [](const std::string& id, const std::string& fields) {
        return "From: MAILER-DAEMON@mx.example.net\nMIME-Version: 1.0\nContent-Type: multipart/report; "
               "report-type=delivery-status; boundary=B\n\n--B\nContent-Type: message/delivery-status\n\n"
               "Reporting-MTA: dns; mx\n\n" + fields + "\n--B\nContent-Type: text/rfc822-headers\n\n"
               "Message-ID: " + id + "\n\n--B--\n";
    };
    const auto mail = [](const std::string& to, const std::string& subject) {
        return "From: Anna <anna@example.net>\nTo: " + to + "\nSubject: " + subject + "\n\nbitte\n";
    };
    const std::vector<std::string> messages = {
        report("<1@example.org>", "Final-Recipient: rfc822; r1@example.org\nAction: failed\nStatus: 5.1.1\n"
                                  "Diagnostic-Code: smtp; 550 unknown\n"),
        report("<2@example.org>", "Final-Recipient: rfc822; r2@example.org\nAction: delayed\nStatus: 4.4.7\n"),
        report("<2@example.org>", "Final-Recipient: rfc822; r2@example.org\nAction: failed\nStatus: 4.4.7\n"),
        report("<3@example.org>", "Final-Recipient: rfc822; r3@example.org\nAction: failed\nStatus: 5.2.1\n"),
        report("<fremd@example.org>", "Final-Recipient: rfc822; x@example.org\nAction: failed\nStatus: 5.1.1\n"),
        mail("Abmeldung <abmelden@example.org>", "AW: abmelden"),
        mail("abmelden@example.org", "Frage"),
        mail("andere@example.org", "Abmelden"),
    };
    const merge::ReportCheck check = merge::checkReports(messages, record, "Abmelden@example.org");
    EXPECT_EQ(check.unmatched, 1);
    EXPECT_EQ(check.handled, (std::vector<std::size_t>{0, 1, 2, 3, 5}));
    using K = merge::ReportOutcome::Kind;
    struct Expected {
        K kind;
        int row;
        const char* address;
        const char* reason;
        bool newBounce, suppress;
    };
    const Expected expected[] = {
        {K::Bounced, 1, "r1@example.org", "5.1.1 550 unknown", true, true},
        {K::Delayed, 2, "r2@example.org", "4.4.7", false, false},
        {K::Bounced, 2, "r2@example.org", "4.4.7", true, false},  // given up, but no hard bounce
        {K::Bounced, 3, "r3@example.org", "5.2.1", false, true},  // recorded before
        {K::Unsubscribed, 0, "anna@example.net", "", false, true},
    };
    ASSERT_EQ(check.outcomes.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const merge::ReportOutcome& outcome = check.outcomes[i];
        EXPECT_EQ(outcome.kind, expected[i].kind);
        EXPECT_EQ(outcome.row, expected[i].row);
        EXPECT_EQ(outcome.address, expected[i].address);
        EXPECT_EQ(outcome.reason(), expected[i].reason);
        EXPECT_EQ(outcome.newBounce, expected[i].newBounce);
        EXPECT_EQ(outcome.suppress, expected[i].suppress);
    }
    // The bounce goes to the run it belongs to, also after later runs began.
    test::TempFolder folder;
    const std::string path = folder.write(
        "r.versandlauf", "Sendrix-Versandlauf\t1\n"
                         "2026-12-09 16:35:04\tlauf\t20261209-163504\tabc\t1\t/e/r.csv\t/l/l.csv\tE\n"
                         "2026-12-09 16:35:05\tversendet\t1\tr1@example.org\t<1@example.org>\t250 OK\n"
                         "2026-12-10 09:00:00\tlauf\t20261210-090000\tabc\t1\t/e/s.csv\t/l/l.csv\tE\n");
    {
        merge::RunRecordWriter writer(path);
        writer.append(merge::bounceEvent(check.outcomes[0], kToday));
    }
    const merge::RunRecordFile updated = merge::readRunRecord(path);
    ASSERT_EQ(updated.runs.size(), 2u);
    const merge::RowResult& bounced = updated.runs[0].rows.at(1);
    EXPECT_EQ(merge::rowStatusText(bounced), "unzustellbar: 5.1.1 550 unknown");
    EXPECT_EQ(bounced.messageId, "<1@example.org>");
    EXPECT_TRUE(updated.runs[1].rows.empty());
}
