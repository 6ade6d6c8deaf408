// The wire lines a list send keeps between its messages: a message written
// with the cache is byte for byte the one written without it, whatever was
// written through the cache before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/id_message.h"
#include "mail/id_message_writer.h"
#include "mail/memory_write_target.h"
#include "mail/wire_line_cache.h"
#include "platform/clock.h"

namespace sendrix::mail {
namespace {

struct Row {
    const char* name;
    const char* contentType;
    std::vector<std::string> body;
};

std::string written(const Row& row, WireLineCache* cache) {
    platform::LocalTime time;
    time.year = 2026, time.month = 12, time.day = 7, time.hour = 13;
    const platform::FixedClock clock(time);
    TIdMessage message;
    message.ContentType = row.contentType;
    message.From.SetText("max@example.com");
    message.Recipients.SetAddresses("anna@example.org");
    message.MsgId = "<cache@example.com>";
    message.Body = row.body;
    MemoryWriteTarget target;
    WriteMessage(target, message, clock, nullptr, cache);
    return target.Bytes();
}

TEST(WireLineCache, KeptLinesGiveTheSameBytesInEveryCharsetAndTransferEncoding) {
    // One line in several bodies: "ü" is =FC in Windows-1252 and =C3=BC in
    // UTF-8, "a=b" is a=3Db quoted-printable and a=b in 7bit ASCII.
    const std::string shared = "Gemeinsam \xC3\xBC a=b";
    const std::string ascii = "Gemeinsam a=b";
    const std::string longLine = std::string(WireLineCache::kMaxLine + 1, 'x') + "\xC3\xBC";
    const std::vector<Row> rows = {
        {"Windows-1252", "text/plain", {shared, ascii, ".Punkt"}},
        {"UTF-8",
         "text/plain",
         {shared, ascii,
          "\xC5\x81\xC3\xB3"
          "d\xC5\xBA"}},
        {"ASCII, 7bit", "text/plain", {ascii, ".Punkt"}},
        {"Windows-1252 again", "text/plain", {shared, ascii, ".Punkt"}},
        {"HTML", "text/html", {"<p>" + shared + "</p>", ascii}},
        {"beyond the kept length", "text/plain", {longLine, ascii, longLine}},
        {"UTF-8 again", "text/plain", {ascii, shared, "\xC5\x81"}},
        {"lines holding line breaks", "text/plain", {shared + "\r\n" + ascii, "a\nb\r", ascii}},
    };
    WireLineCache cache;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(written(row, &cache), written(row, nullptr));
    }
    EXPECT_GT(cache.size(), 0u);
    EXPECT_LT(cache.size(), WireLineCache::kMaxLine);  // the long line was never kept
}

TEST(WireLineCache, StaysWithinItsLimitAndOneBody) {
    WireLineCache cache;
    TextEncoding encoding;
    const auto copy = [](std::string_view line, const TextEncoding&) { return std::string(line); };
    // Bodies of 100 new lines of 1,000 bytes each: a new body may come on
    // top of the limit, never more.
    const std::size_t body = 100 * (1000 + 4) * 2;
    for (int b = 0; b < 30; ++b) {
        std::vector<std::string> lines;
        for (int i = 0; i < 100; ++i)
            lines.push_back(std::to_string(b * 100 + i) + std::string(1000, 'z'));
        const std::vector<WireLineCache::Line*> kept = cache.lines(lines);
        for (std::size_t i = 0; i < lines.size(); ++i)
            ASSERT_EQ(cache.wireText(*kept[i], lines[i], encoding, copy), lines[i]);
        ASSERT_LE(cache.size(), WireLineCache::kMaxBytes + body);
    }
    // Lines found by their text alone are no longer kept beyond the limit.
    for (int i = 0; i < 2000; ++i) {
        const std::string line = "t" + std::to_string(i) + std::string(1000, 'y');
        ASSERT_EQ(cache.wireText(line, encoding, copy), line);
        ASSERT_LE(cache.size(), WireLineCache::kMaxBytes + body);
    }
}

}  // namespace
}  // namespace sendrix::mail
