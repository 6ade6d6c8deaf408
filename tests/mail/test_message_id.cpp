// Message-IDs: the form "<unique@sender-domain>", and uniqueness over 10,000
// identifiers written by two processes at once.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "mail/id_message.h"
#include "mail/id_message_id.h"
#include "mail/id_message_writer.h"
#include "platform/clock.h"
#include "mail/memory_write_target.h"

namespace sendrix::mail {
namespace {

TEST(MessageIdDomain, SenderDomainAsALabelNeverABareHostName) {
    struct Row {
        const char* address;
        const char* domain;
    };
    const Row rows[] = {
        {"info@example.org", "example.org"},
        {"a@b@Sub.Example.DE", "Sub.Example.DE"},
        {"info@m\xC3\xBCller-b\xC3\xA4"
         "ckerei.de",
         "xn--mller-bckerei-hfb76a.de"},
        {"root@localhost", "sendrix.invalid"},
        {"root@vm", "sendrix.invalid"},
        {"ohne-domain", "sendrix.invalid"},
        {"leer@", "sendrix.invalid"},
        {"x@exa mple.org", "sendrix.invalid"},
        {"x@example..org", "sendrix.invalid"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        EXPECT_EQ(MessageIdDomain(row.address), row.domain);
    }
}

// The "Message-ID" values of `count` messages written by the real writer.
std::vector<std::string> writtenIds(int count) {
    platform::LocalTime t{};
    t.year = 2026, t.month = 12, t.day = 7;
    const platform::FixedClock clock(t);
    TIdMessage message;
    message.From.SetText("Max <max@example.org>");
    message.Recipients.SetAddresses("anna@example.org");
    message.Body = {"x"};
    std::vector<std::string> ids;
    for (int i = 0; i < count; ++i) {
        MemoryWriteTarget target;
        WriteMessage(target, message, clock);
        for (const std::string& line : target.Lines())
            if (line.rfind("Message-ID: ", 0) == 0)
                ids.push_back(line.substr(12));
    }
    return ids;
}

TEST(MessageId, TenThousandFromTwoProcessesAreAllDifferent) {
    // Two forked processes start from the same memory: only what the system
    // gives each identifier anew (time, process, random bits) tells them apart.
    constexpr int kEach = 5000;
    int pipes[2][2];
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(::pipe(pipes[c]), 0);
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            ::close(pipes[c][0]);
            std::string out;
            for (const std::string& id : writtenIds(kEach))
                out += id + "\n";
            size_t done = 0;
            while (done < out.size()) {
                const ssize_t n = ::write(pipes[c][1], out.data() + done, out.size() - done);
                if (n <= 0)
                    ::_exit(1);
                done += size_t(n);
            }
            ::_exit(0);
        }
        ::close(pipes[c][1]);
    }
    std::vector<std::string> all;
    for (int c = 0; c < 2; ++c) {
        std::string text;
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(pipes[c][0], buffer, sizeof buffer)) > 0)
            text.append(buffer, size_t(n));
        ::close(pipes[c][0]);
        int status = 0;
        ASSERT_EQ(::waitpid(children[c], &status, 0), children[c]);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            all.push_back(text.substr(start, end - start));
    }
    ASSERT_EQ(all.size(), 2u * kEach);
    const std::regex form("<[0-9a-z]+\\.[0-9a-z]+\\.[0-9a-z]+@example\\.org>");
    for (const std::string& id : all)
        ASSERT_TRUE(std::regex_match(id, form)) << id;
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
}

TEST(MessageId, AForkedChildNeverDrawsItsParentsRandomBits) {
    // The random bits are fetched for many identifiers at once; a child
    // forked after the parent made one must not go on with the same bits.
    ASSERT_EQ(writtenIds(1).size(), 1u);
    std::string randomParts[2];
    for (std::string& part : randomParts) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string id = writtenIds(1).at(0);
            const std::string random = id.substr(id.rfind('.', id.find('@')) + 1);
            ::_exit(::write(pipeEnds[1], random.data(), random.size()) == ssize_t(random.size()) ? 0 : 1);
        }
        ::close(pipeEnds[1]);
        char buffer[64];
        for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
            part.append(buffer, size_t(n));
        ::close(pipeEnds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_FALSE(randomParts[0].empty());
    EXPECT_NE(randomParts[0], randomParts[1]);
}

TEST(MessageId, SetOrExtraHeaderIdIsWrittenOnceAndNoOtherIsMade) {
    platform::LocalTime t{};
    t.year = 2026, t.month = 12, t.day = 7;
    const platform::FixedClock clock(t);
    TIdMessage message;
    message.From.SetText("max@example.org");
    message.MsgId = "<eigen@example.org>";
    MemoryWriteTarget first;
    WriteMessage(first, message, clock);
    EXPECT_NE(first.Bytes().find("\r\nMessage-ID: <eigen@example.org>\r\n"), std::string::npos);

    message.ExtraHeaders.Add("Message-ID: <extra@example.org>");
    MemoryWriteTarget second;
    WriteMessage(second, message, clock);
    const std::string& bytes = second.Bytes();
    EXPECT_EQ(bytes.find("<eigen@"), std::string::npos);
    EXPECT_EQ(bytes.find("Message-ID:"), bytes.rfind("Message-ID:"));
}

}  // namespace
}  // namespace sendrix::mail
