// The message writer against an in-memory connection: whole messages byte
// for byte, the layouts, dot doubling, what outside text can and cannot do
// to the wire, attachments and their temporary files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mail/id_exception.h"
#include "mail/id_header_coder.h"
#include "mail/id_message.h"
#include "mail/id_message_writer.h"
#include "mail/memory_write_target.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/file.h"
#include "support/temp_folder.h"
#include "support/expect_throw.h"

using sendrix::test::expectThrowText;
using ::testing::_;

namespace sendrix::mail {
namespace {

using test::TempFolder;

// Monday, 7 December 2026, 13:58:43, Central European winter time.
platform::LocalTime winterTime(int offsetMinutes = 60) {
    platform::LocalTime t;
    t.year = 2026, t.month = 12, t.day = 7;
    t.hour = 13, t.minute = 58, t.second = 43;
    t.dayOfWeek = 1;
    t.utcOffsetMinutes = offsetMinutes;
    return t;
}

// Base64 decoding of one line, independent of the encoder under test.
std::string decodeBase64(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=')
            break;
        const size_t v = alphabet.find(c);
        if (v == std::string::npos)
            throw std::runtime_error("no base64 character");
        bits = (bits << 6) | unsigned(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += char((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines)
        out += line + "\r\n";
    return out;
}

// Every CR is followed by LF and every LF follows a CR.
bool onlyCrLfLineEnds(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))
            return false;
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
    }
    return true;
}

// Each test gets its own temporary folder, so a left-over temporary file of
// the writer shows up as an entry there.
class MessageWriter : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        if (old)
            m_oldTmpDir = old;
        ::setenv("TMPDIR", m_temp.folder().c_str(), 1);
        m_message.ContentType = "text/plain";
        m_message.From.SetText("Max Muster <max@example.com>");
        m_message.Recipients.SetAddresses("anna@example.org");
        m_message.Subject = "Hallo";
        m_message.MsgId = "<golden.1@example.com>";
    }
    void TearDown() override {
        if (m_oldTmpDir)
            ::setenv("TMPDIR", m_oldTmpDir->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

    std::string write(MemoryWriteTarget& target) {
        WriteMessage(target, m_message, m_clock);
        return target.Bytes();
    }
    std::string write() {
        MemoryWriteTarget target;
        return write(target);
    }
    std::string file(const std::string& name, const std::string& bytes) { return m_files.write(name, bytes); }
    // The lines from the first line of an attachment's data up to the empty line.
    static std::vector<std::string> dataLines(const std::vector<std::string>& lines, size_t headerStart) {
        std::vector<std::string> data;
        size_t i = headerStart;
        while (!lines.at(i).empty())
            ++i;
        for (++i; !lines.at(i).empty(); ++i)
            data.push_back(lines[i]);
        return data;
    }
    static size_t indexOf(const std::vector<std::string>& lines, const std::string& line, size_t from = 0) {
        for (size_t i = from; i < lines.size(); ++i)
            if (lines[i] == line)
                return i;
        return std::string::npos;
    }

    TempFolder m_temp;
    TempFolder m_files;
    std::optional<std::string> m_oldTmpDir;
    platform::FixedClock m_clock{winterTime()};
    TIdMessage m_message;
};

TEST_F(MessageWriter, PlainMessageHasTheShortHeaderSequenceThenTheBody) {
    // 8-bit text is declared: its charset, MIME-Version and quoted-printable.
    m_message.Body = {"Zeile eins",
                      ".",
                      "..",
                      "a.",
                      ".Punkt am Anfang",
                      "",
                      "8-Bit: Gr\xFC\xDF"
                      "e \x80"};
    EXPECT_EQ(write(),
              "From: \"Max Muster\" <max@example.com>\r\n"
              "Subject: Hallo\r\n"
              "To: anna@example.org\r\n"
              "Content-Type: text/plain; charset=windows-1252\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n"
              "Date: Mon, 7 Dec 2026 13:58:43 +0100\r\n"
              "Message-ID: <golden.1@example.com>\r\n"
              "X-Priority: 3\r\n"
              "X-Library: Sendrix 1.2.0.20\r\n"
              "\r\n"
              "Zeile eins\r\n"
              "..\r\n"
              "...\r\n"
              "a.\r\n"
              "..Punkt am Anfang\r\n"
              "\r\n"
              "8-Bit: Gr=FC=DFe =80\r\n");
}

TEST_F(MessageWriter, AllAddressFieldsAndReceiptStandInTableOrderAndBccNowhere) {
    m_message.ContentType = "text/html; charset=\"Windows-1252\"";
    m_message.Recipients.SetAddresses("anna@example.org, \"Berg, Bernd\" <bernd@example.org>");
    m_message.CCList.SetAddresses("cc@example.org");
    m_message.BccList.SetAddresses("geheim@example.org");
    m_message.ReplyTo.SetAddresses("Antwort <antwort@example.org>");
    m_message.ReceiptRecipient.SetText(m_message.From.Text());
    m_message.Priority = mpHighest;
    const std::string text = write();
    // An HTML mailing is multipart/alternative (its parts: see below).
    EXPECT_EQ(text.substr(0, text.find("\r\n\r\n") + 4),
              "From: \"Max Muster\" <max@example.com>\r\n"
              "Subject: Hallo\r\n"
              "To: anna@example.org, \"Berg, Bernd\" <bernd@example.org>\r\n"
              "Cc: cc@example.org\r\n"
              "Content-Type: multipart/alternative; boundary=\"=_NextPart_2rfkqmtzsadvnqw3nerasdf\"\r\n"
              "MIME-Version: 1.0\r\n"
              "Reply-To: \"Antwort\" <antwort@example.org>\r\n"
              "Disposition-Notification-To: \"Max Muster\" <max@example.com>\r\n"
              "Date: Mon, 7 Dec 2026 13:58:43 +0100\r\n"
              "Message-ID: <golden.1@example.com>\r\n"
              "X-Priority: 1\r\n"
              "X-Library: Sendrix 1.2.0.20\r\n"
              "\r\n");
    EXPECT_EQ(text.find("geheim"), std::string::npos);
}

TEST_F(MessageWriter, EmptySubjectAndSenderWithoutNameAndLowestPriority) {
    m_message.Subject.clear();
    m_message.From.SetText("max@example.com");
    m_message.Priority = mpLowest;
    m_message.Body = {"x"};
    EXPECT_EQ(write(),
              "From: max@example.com\r\n"
              "To: anna@example.org\r\n"
              "Content-Type: text/plain\r\n"
              "Date: Mon, 7 Dec 2026 13:58:43 +0100\r\n"
              "Message-ID: <golden.1@example.com>\r\n"
              "X-Priority: 5\r\n"
              "X-Library: Sendrix 1.2.0.20\r\n"
              "\r\n"
              "x\r\n");
}

TEST_F(MessageWriter, OneAttachmentGivesTheMixedLayoutByteForByte) {
    std::string data;
    for (int c = 48; c < 106; ++c)
        data += char(c);  // 58 bytes: one full line and one of 4 characters
    m_message.MessageParts.AddAttachment(file("Bericht.pdf", data));
    m_message.Body = {"Hallo,", ".", "Gru\xDF"};
    EXPECT_EQ(write(),
              "From: \"Max Muster\" <max@example.com>\r\n"
              "Subject: Hallo\r\n"
              "To: anna@example.org\r\n"
              "Content-Type: multipart/mixed; boundary=\"=_NextPart_2rfkqmtzsadvnqw3nerasdf\"\r\n"
              "MIME-Version: 1.0\r\n"
              "Date: Mon, 7 Dec 2026 13:58:43 +0100\r\n"
              "Message-ID: <golden.1@example.com>\r\n"
              "X-Priority: 3\r\n"
              "X-Library: Sendrix 1.2.0.20\r\n"
              "\r\n"
              "This is a multi-part message in MIME format\r\n"
              "\r\n"
              "--=_NextPart_2rfkqmtzsadvnqw3nerasdf\r\n"
              "Content-Type: text/plain; charset=windows-1252\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n"
              "\r\n"
              "Hallo,\r\n"
              "..\r\n"
              "Gru=DF\r\n"
              "\r\n"
              "--=_NextPart_2rfkqmtzsadvnqw3nerasdf\r\n"
              "Content-Type: application/pdf;\r\n"
              "        name=\"Bericht.pdf\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment;\r\n"
              "        filename=\"Bericht.pdf\"\r\n"
              "\r\n"
              "MDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdo\r\n"
              "aQ==\r\n"
              "\r\n"
              "--=_NextPart_2rfkqmtzsadvnqw3nerasdf--\r\n");
    EXPECT_EQ(m_temp.entryCount(), 0u);
    // The defaults stay stored in the part for the next message of a run.
    const auto& part = static_cast<TIdAttachment&>(m_message.MessageParts.Items(0));
    EXPECT_EQ(part.ContentType(), "application/pdf");
    EXPECT_EQ(part.ContentTransfer(), "base64");
    EXPECT_EQ(part.ContentDisposition(), "attachment");
}

TEST_F(MessageWriter, HtmlBodyWithAnAttachmentKeepsItsTypeInTheFirstPart) {
    // The first part is the alternative of a rendering and the HTML, each
    // with the charset chosen for it.
    m_message.ContentType = "text/html; charset=\"Windows-1252\"";
    m_message.Body = {
        "<p>Hallo <b>Gr\xC3\xBC\xC3\x9F"
        "e</b></p>"};
    m_message.MessageParts.AddAttachment(file("a.bin", "x"));
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    const size_t first = indexOf(lines, "--=_NextPart_2rfkqmtzsadvnqw3nerasdf");
    ASSERT_NE(first, std::string::npos);
    const std::vector<std::string> expected = {
        "--=_NextPart_2rfkqmtzsadvnqw3nerasdf",
        "Content-Type: multipart/alternative; ",
        "        boundary=\"=_NextPart_2altrfkqmtzsadvnqw3nerasdf\"",
        "",
        "--=_NextPart_2altrfkqmtzsadvnqw3nerasdf",
        "Content-Type: text/plain; charset=windows-1252",
        "Content-Transfer-Encoding: quoted-printable",
        "",
        "Hallo Gr=FC=DFe",
        "",
        "--=_NextPart_2altrfkqmtzsadvnqw3nerasdf",
        "Content-Type: text/html; charset=windows-1252",
        "Content-Transfer-Encoding: quoted-printable",
        "",
        "<p>Hallo <b>Gr=FC=DFe</b></p>",
        "",
        "--=_NextPart_2altrfkqmtzsadvnqw3nerasdf--",
        "",
        "--=_NextPart_2rfkqmtzsadvnqw3nerasdf",
    };
    ASSERT_GE(lines.size(), first + expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + first, lines.begin() + first + expected.size()),
              expected);

    // Anything that is no text type leaves the first part plain text.
    m_message.ContentType = "application/x-unknown";
    m_message.Body = {"<p>Hallo</p>"};
    MemoryWriteTarget second;
    write(second);
    const auto other = second.Lines();
    EXPECT_EQ(other.at(indexOf(other, "--=_NextPart_2rfkqmtzsadvnqw3nerasdf") + 1),
              "Content-Type: text/plain");
}

TEST_F(MessageWriter, HtmlWithInlineImagesNestsThemWithTheHtmlInARelatedPartOfTheAlternative) {
    m_message.ContentType = "text/html; charset=\"Windows-1252\"";
    m_message.Body = {"<p><img src=\"cid:bild1@sendrix\" alt=\"Logo &amp; Wappen\"></p>"};
    m_message.InlineImages = {{file("logo.png", "abc"), "bild1@sendrix"}};
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    EXPECT_NE(indexOf(lines,
                      "Content-Type: multipart/alternative; boundary=\"=_NextPart_2rfkqmtzsadvnqw3nerasdf\""),
              std::string::npos);
    const size_t first = indexOf(lines, "--=_NextPart_2rfkqmtzsadvnqw3nerasdf");
    ASSERT_NE(first, std::string::npos);
    const std::vector<std::string> expected = {
        "--=_NextPart_2rfkqmtzsadvnqw3nerasdf",
        "Content-Type: text/plain; charset=us-ascii",
        "Content-Transfer-Encoding: 7bit",
        "",
        "[Bild: Logo & Wappen]",
        "",
        "--=_NextPart_2rfkqmtzsadvnqw3nerasdf",
        "Content-Type: multipart/related; type=\"text/html\"; ",
        "        boundary=\"=_NextPart_2imgrfkqmtzsadvnqw3nerasdf\"",
        "",
        "--=_NextPart_2imgrfkqmtzsadvnqw3nerasdf",
        "Content-Type: text/html; charset=us-ascii",
        "Content-Transfer-Encoding: 7bit",
        "",
        "<p><img src=\"cid:bild1@sendrix\" alt=\"Logo &amp; Wappen\"></p>",
        "",
        "--=_NextPart_2imgrfkqmtzsadvnqw3nerasdf",
        "Content-Type: image/png;",
        "        name=\"logo.png\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: inline;",
        "        filename=\"logo.png\"",
        "Content-ID: <bild1@sendrix>",
        "",
        "YWJj",
        "",
        "--=_NextPart_2imgrfkqmtzsadvnqw3nerasdf--",
        "--=_NextPart_2rfkqmtzsadvnqw3nerasdf--",
    };
    ASSERT_GE(lines.size(), first + expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + first, lines.begin() + first + expected.size()),
              expected);
}

TEST_F(MessageWriter, AttachmentDataIsOneLineOf76PerFiftySevenBytes) {
    struct Row {
        size_t size;
        size_t lines;
        size_t lastLength;
    };
    // 3 * 4096 + 1 crosses the coder's buffer size; the last two cross the
    // writer's read blocks, which must not change the line layout.
    const Row rows[] = {{0, 0, 0},
                        {1, 1, 4},
                        {2, 1, 4},
                        {57, 1, 76},
                        {58, 2, 4},
                        {3 * 4096 + 1, 216, 48},
                        {57 * 8192, 8192, 76},
                        {57 * 8192 * 2 + 59, 16386, 4}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        std::string data(row.size, '\0');
        for (size_t i = 0; i < row.size; ++i)
            data[i] = char((i * 7919 + i / 251) & 0xFF);
        m_message.MessageParts.Clear();
        m_message.MessageParts.AddAttachment(file("data.bin", data));
        MemoryWriteTarget target;
        write(target);
        const auto lines = target.Lines();
        const auto data_ = dataLines(lines, indexOf(lines, "Content-Type: application/octet-stream;"));
        ASSERT_EQ(data_.size(), row.lines);
        std::string decoded;
        for (size_t i = 0; i < data_.size(); ++i) {
            EXPECT_EQ(data_[i].size(), i + 1 < data_.size() ? 76u : row.lastLength);
            decoded += decodeBase64(data_[i]);
        }
        EXPECT_EQ(decoded, data);
        EXPECT_EQ(target.Lines().back(), "--=_NextPart_2rfkqmtzsadvnqw3nerasdf--");
        EXPECT_EQ(m_temp.entryCount(), 0u);
    }
}

TEST_F(MessageWriter, TwoAttachmentsInOrderEachAfterAnEmptyLineAndItsBoundary) {
    m_message.MessageParts.AddAttachment(file("eins.txt", "1"));
    m_message.MessageParts.AddAttachment(file("zwei.txt", "22"));
    m_message.Body = {"b"};
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    const size_t first = indexOf(lines, "        name=\"eins.txt\"");
    const size_t second = indexOf(lines, "        name=\"zwei.txt\"");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    ASSERT_LT(first, second);
    const std::vector<std::string> between(lines.begin() + first + 5, lines.begin() + second + 1);
    EXPECT_EQ(between, (std::vector<std::string>{"MQ==", "", "", "--=_NextPart_2rfkqmtzsadvnqw3nerasdf",
                                                 "Content-Type: text/plain;", "        name=\"zwei.txt\""}));
    const std::vector<std::string> tail(lines.end() - 4, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"", "MjI=", "", "--=_NextPart_2rfkqmtzsadvnqw3nerasdf--"}));
}

TEST_F(MessageWriter, ContentIdMakesTheRelatedLayoutWithItsUnbrokenContentTypeLine) {
    TIdAttachment& picture = m_message.MessageParts.AddAttachment(file("bild.png", "PNG"));
    picture.ExtraHeaders.Add("Content-ID: <bild1>");
    m_message.Body = {"Text"};
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    const std::string contentType =
        "Content-Type: multipart/related; type=\"multipart/alternative\"; "
        "boundary=\"=_NextPart_2relrfksadvnqqmtzw3nerasdf\"";
    ASSERT_EQ(contentType.size(), 111u);
    EXPECT_EQ(lines.at(3), contentType);
    const size_t header = indexOf(lines, "        filename=\"bild.png\"");
    ASSERT_NE(header, std::string::npos);
    EXPECT_EQ(lines.at(header + 1), "Content-ID: <bild1>");
    EXPECT_EQ(lines.at(header + 2), "");
    EXPECT_EQ(indexOf(lines, "--=_NextPart_2relrfksadvnqqmtzw3nerasdf"), 12u);
    EXPECT_EQ(lines.back(), "--=_NextPart_2relrfksadvnqqmtzw3nerasdf--");
}

TEST_F(MessageWriter, TwoTextPartsGiveTheAlternativeLayoutWithoutTheMessageBody) {
    TIdText& plain = m_message.MessageParts.AddText();
    plain.Body = {
        "Gr\xFC\xDF"
        "e",
        ".Punkt", "Ende "};
    TIdText& html = m_message.MessageParts.AddText();
    html.SetContentType("text/html");
    html.Body = {"<p>Hallo</p>"};
    m_message.Body = {"nie gesendet"};
    const std::string text = write();
    const std::string contentType =
        "Content-Type: multipart/alternative; boundary=\"=_NextPart_2rfkqmtzsadvnqw3nerasdf\"";
    ASSERT_EQ(contentType.size(), 82u);
    EXPECT_EQ(text,
              "From: \"Max Muster\" <max@example.com>\r\n"
              "Subject: Hallo\r\n"
              "To: anna@example.org\r\n" +
                  contentType +
                  "\r\n"
                  "MIME-Version: 1.0\r\n"
                  "Date: Mon, 7 Dec 2026 13:58:43 +0100\r\n"
                  "Message-ID: <golden.1@example.com>\r\n"
                  "X-Priority: 3\r\n"
                  "X-Library: Sendrix 1.2.0.20\r\n"
                  "\r\n"
                  "This is a multi-part message in MIME format\r\n"
                  "\r\n"
                  "--=_NextPart_2rfkqmtzsadvnqw3nerasdf\r\n"
                  "Content-Type: text/plain; charset=windows-1252\r\n"
                  "Content-Transfer-Encoding: quoted-printable\r\n"
                  "\r\n"
                  "Gr=FC=DFe\r\n"
                  "..Punkt\r\n"
                  "Ende=20\r\n"
                  "\r\n"
                  "--=_NextPart_2rfkqmtzsadvnqw3nerasdf\r\n"
                  "Content-Type: text/html\r\n"
                  "Content-Transfer-Encoding: quoted-printable\r\n"
                  "\r\n"
                  "<p>Hallo</p>\r\n"
                  "\r\n"
                  "--=_NextPart_2rfkqmtzsadvnqw3nerasdf--\r\n");
}

TEST_F(MessageWriter, TextPartsWithAnAttachmentNestTheAlternativePartFirst) {
    m_message.MessageParts.AddText().Body = {"a"};
    m_message.MessageParts.AddAttachment(file("x.bin", "xyz"));
    m_message.MessageParts.AddText().Body = {"b"};
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    const size_t start = indexOf(lines, "--=_NextPart_2rfkqmtzsadvnqw3nerasdf");
    ASSERT_NE(start, std::string::npos);
    const std::vector<std::string> expected = {
        "--=_NextPart_2rfkqmtzsadvnqw3nerasdf",
        "Content-Type: multipart/alternative; ",
        "        boundary=\"=_NextPart_2altrfkqmtzsadvnqw3nerasdf\"",
        "",
        "--=_NextPart_2altrfkqmtzsadvnqw3nerasdf",
        "Content-Type: text/plain",
        "Content-Transfer-Encoding: quoted-printable",
        "",
        "a",
        "",
        "--=_NextPart_2altrfkqmtzsadvnqw3nerasdf",
        "Content-Type: text/plain",
        "Content-Transfer-Encoding: quoted-printable",
        "",
        "b",
        "",
        "--=_NextPart_2altrfkqmtzsadvnqw3nerasdf--",
        "",
        "--=_NextPart_2rfkqmtzsadvnqw3nerasdf",
        "Content-Type: application/octet-stream;",
        "        name=\"x.bin\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment;",
        "        filename=\"x.bin\"",
        "",
        "eHl6",
        "",
        "--=_NextPart_2rfkqmtzsadvnqw3nerasdf--",
    };
    EXPECT_EQ(std::vector<std::string>(lines.begin() + start, lines.end()), expected);
}

TEST_F(MessageWriter, ExactlyOneTextPartFailsAfterTheHeaderLines) {
    m_message.MessageParts.AddText().Body = {"a"};
    MemoryWriteTarget target;
    expectThrowText<EIdTextInvalidCount>([&] { write(target); },
                                         "Ungültige Anzahl für Text. TIdText muß größer als 1 sein");
    const std::string& bytes = target.Bytes();
    EXPECT_EQ(bytes.substr(bytes.size() - 29), "X-Library: Sendrix 1.2.0.20\r\n");
    EXPECT_EQ(bytes.find("\r\n\r\n"), std::string::npos);
}

TEST_F(MessageWriter, PlainPartCannotBeCreated) {
    expectThrowText<EIdCanNotCreateMessagePart>(
        [&] { TIdMessagePart part; },
        "TIdMessagePart kann nicht erzeugt werden. Verwenden Sie abgeleitete Klassen. ");
}

TEST_F(MessageWriter, DateCarriesTheZoneOfTheMomentOfWriting) {
    struct Row {
        int offset;
        const char* zone;
    };
    const Row rows[] = {{0, "+0000"}, {60, "+0100"}, {-210, "-0330"}, {330, "+0530"}, {-300, "-0500"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.zone);
        m_clock.set(winterTime(row.offset));
        EXPECT_NE(write().find("\r\nDate: Mon, 7 Dec 2026 13:58:43 " + std::string(row.zone) + "\r\n"),
                  std::string::npos);
    }
    // A set Date keeps its own day and time, with the offset of now.
    platform::LocalTime summer{};
    summer.year = 2026, summer.month = 7, summer.day = 4, summer.hour = 9, summer.minute = 5,
    summer.second = 3;
    m_message.Date = summer;
    m_clock.set(winterTime(60));
    EXPECT_NE(write().find("\r\nDate: Sat, 4 Jul 2026 09:05:03 +0100\r\n"), std::string::npos);
}

TEST_F(MessageWriter, UnusableTimeZoneFailsBeforeAnythingIsWritten) {
    m_clock.set(winterTime(24 * 60));
    MemoryWriteTarget target;
    expectThrowText<EIdFailedToRetreiveTimeZoneInfo>(
        [&] { write(target); }, "Einlesen der Zeitzonen-Informationen ist fehlgeschlagen.");
    EXPECT_TRUE(target.Bytes().empty());
}

TEST_F(MessageWriter, LineBreaksInHeaderValuesBecomeBlanks) {
    m_message.Subject = "Hallo\r\nBcc: opfer@example.org\r\n\r\nText";
    m_message.From.SetName("Max\nX-Evil: 1");
    m_message.From.SetAddress("max@example.com\r\nTo: b@example.org");
    m_message.Organization = "Firma\rGmbH";
    m_message.ExtraHeaders.Add("X-Extra: a\r\nX-Smuggled: b");
    m_message.ExtraHeaders.Add("");
    m_message.Body = {"Body"};
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    const size_t end = indexOf(lines, "");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(lines.at(end + 1), "Body");
    for (size_t i = 0; i < end; ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_NE(lines[i].rfind("Bcc:", 0), 0u);
        EXPECT_NE(lines[i].rfind("X-Evil:", 0), 0u);
        EXPECT_NE(lines[i].rfind("X-Smuggled:", 0), 0u);
        EXPECT_NE(lines[i].rfind("To: b@", 0), 0u);
    }
    EXPECT_EQ(lines.at(0), "From: \"Max X-Evil: 1\" <max@example.com  To: b@example.org>");
    EXPECT_EQ(lines.at(1), "Subject: Hallo  Bcc: opfer@example.org    Text");
    EXPECT_NE(indexOf(lines, "Organization: Firma GmbH"), std::string::npos);
    EXPECT_NE(indexOf(lines, "X-Extra: a  X-Smuggled: b"), std::string::npos);
    EXPECT_TRUE(onlyCrLfLineEnds(target.Bytes()));
}

TEST_F(MessageWriter, BareLineBreaksInBodyLinesAreSplitAndEachPieceDotDoubled) {
    m_message.Body = {"eins\n.\nzwei", "drei\r.\rvier", "f\xFCnf\r\n.", "sechs\n", ""};
    for (bool withAttachment : {false, true}) {
        SCOPED_TRACE(withAttachment);
        m_message.MessageParts.Clear();
        if (withAttachment)
            m_message.MessageParts.AddAttachment(file("a.txt", "a"));
        MemoryWriteTarget target;
        write(target);
        EXPECT_TRUE(onlyCrLfLineEnds(target.Bytes()));
        const std::string expected =
            joinLines({"eins", "..", "zwei", "drei", "..", "vier", "f=FCnf", "..", "sechs", "", ""});
        EXPECT_NE(target.Bytes().find(expected), std::string::npos);
        for (const auto& line : target.Lines())
            EXPECT_NE(line, ".");
    }
}

TEST_F(MessageWriter, AttachmentNameOutsideAsciiIsEncodedAndCannotEndItsParameterOrLine) {
    // A Linux file name may hold a double quote, CR and LF; the file is
    // still opened under its own name.
    const std::string path = file(
        "Gr\xC3\xBC\xC3\x9F"
        "e \"neu\"\r\nX-Evil: 1.txt",
        "inhalt");
    m_message.MessageParts.AddAttachment(path);
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    // "Grüße 'neu'  X-Evil: 1.txt" in UTF-8: RFC 2231 and one encoded word.
    const std::string word = "=?UTF-8?B?R3LDvMOfZSAnbmV1JyAgWC1FdmlsOiAxLnR4dA==?=";
    EXPECT_NE(indexOf(lines, "        name=\"" + word + "\""), std::string::npos);
    EXPECT_NE(indexOf(lines, "        filename*=UTF-8''Gr%C3%BC%C3%9Fe%20%27neu%27%20%20X-Evil%3A%201.txt;"),
              std::string::npos);
    EXPECT_NE(indexOf(lines, "        filename=\"" + word + "\""), std::string::npos);
    EXPECT_NE(indexOf(lines, "aW5oYWx0"), std::string::npos);
    EXPECT_TRUE(onlyCrLfLineEnds(target.Bytes()));
}

TEST(AttachmentHeaderName, CutsAtTheLastFolderSeparatorOfEitherKind) {
    EXPECT_EQ(AttachmentHeaderName("/home/max/Bericht.pdf"), "Bericht.pdf");
    EXPECT_EQ(AttachmentHeaderName("C:\\Daten\\Bericht.pdf"), "Bericht.pdf");
    EXPECT_EQ(AttachmentHeaderName("/a\\b/c\\d.txt"), "d.txt");
    EXPECT_EQ(AttachmentHeaderName("ohne-ordner.txt"), "ohne-ordner.txt");
    EXPECT_EQ(AttachmentHeaderName("/x/Preis \xE2\x82\xAC.txt"), "Preis \xE2\x82\xAC.txt");
    EXPECT_EQ(AttachmentHeaderName("/x/\xE6\x97\xA5.txt"), "\xE6\x97\xA5.txt");
    // Bytes that are no UTF-8 are taken as Windows-1252 characters.
    EXPECT_EQ(AttachmentHeaderName("/x/K\xF6ln.txt"), "K\xC3\xB6ln.txt");
}

TEST_F(MessageWriter, MissingAttachmentFailsAfterItsBoundaryAndLeavesNoTemporaryFile) {
    const std::string path = m_files.path("fehlt.pdf");
    m_message.MessageParts.AddAttachment(path);
    MemoryWriteTarget target;
    // The fixed text stays the first line; the reason follows on a second.
    expectThrowText<FileError>([&] { write(target); },
                               "Datei " + path + " kann nicht geöffnet werden\nDatei nicht gefunden");
    const auto lines = target.Lines();
    EXPECT_EQ(lines.back(), "--=_NextPart_2rfkqmtzsadvnqw3nerasdf");
    EXPECT_EQ(m_temp.entryCount(), 0u);
}

TEST_F(MessageWriter, AttachmentChangedSinceTheRunSawItFailsBeforeItsPart) {
    // The observer's "Anlage wird codiert" comes while the message is half
    // written, right before the file is opened: the moment another program
    // may change it.
    struct Changer : IdWriterObserver {
        std::function<void()> change;
        void Status(std::string_view text) override {
            if (text == "Anlage wird codiert")
                change();
        }
    };
    const std::string path = m_files.path("liste.pdf");
    struct Row {
        const char* name;
        std::function<void()> change;
        std::string error;
    } rows[] = {
        {"grown", [&] { file("liste.pdf", "12345678"); },
         "Die Anlage " + path +
             " hat sich während des Versands geändert (zuvor 5 Bytes, jetzt 8 Bytes); die begonnene Mail "
             "wird nicht abgeschlossen."},
        {"shrunk", [&] { file("liste.pdf", "1"); }, "(zuvor 5 Bytes, jetzt 1 Bytes)"},
        {"vanished", [&] { ::unlink(path.c_str()); },
         "Die Anlage " + path +
             " ist während des Versands verschwunden oder nicht mehr lesbar; die begonnene Mail wird nicht "
             "abgeschlossen.\nDatei nicht gefunden"},
        {"same size", [&] { file("liste.pdf", "abcde"); }, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_message.MessageParts.Clear();
        m_message.MessageParts.AddAttachment(file("liste.pdf", "12345")).SetExpectedSize(5);
        Changer changer;
        changer.change = row.change;
        MemoryWriteTarget target;
        if (row.error.empty()) {
            WriteMessage(target, m_message, m_clock, &changer);
            EXPECT_NE(target.Bytes().find("YWJjZGU=\r\n"), std::string::npos);  // "abcde"
            continue;
        }
        expectThrowText<FileError>([&] { WriteMessage(target, m_message, m_clock, &changer); },
                                   ::testing::HasSubstr(row.error));
        // Nothing of the part went out.
        EXPECT_EQ(target.Lines().back(), "--=_NextPart_2rfkqmtzsadvnqw3nerasdf");
    }
}

TEST_F(MessageWriter, AFileThatReportsNoSizeIsCheckedAgainstWhatTheFirstReadingGave) {
    // /proc (and some network file systems) report 0 for files with content.
    const std::string path = "/proc/self/cmdline";
    const std::uint64_t bytes = sendrix::platform::bytesInFile(path);
    ASSERT_GT(bytes, 0u);
    for (const std::optional<std::uint64_t> expected :
         {std::optional<std::uint64_t>(), std::optional(bytes)}) {
        m_message.MessageParts.Clear();
        m_message.MessageParts.AddAttachment(path).SetExpectedSize(expected);
        EXPECT_NE(write().find("        name=\"cmdline\""), std::string::npos);
    }
    m_message.MessageParts.Clear();
    m_message.MessageParts.AddAttachment(path).SetExpectedSize(bytes + 1);
    expectThrowText<FileError>([&] { write(); }, ::testing::HasSubstr("(zuvor " + std::to_string(bytes + 1)));
}

TEST_F(MessageWriter, AttachmentThatIsNoRegularFileFailsBeforeItsPartAndNeverBlocks) {
    // A pipe without a writer would block the open, /dev/zero the read.
    const std::string fifo = m_files.path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    m_files.write("ordner/x.txt", "x");
    for (const std::string& path : {fifo, std::string("/dev/zero"), m_files.path("ordner")}) {
        SCOPED_TRACE(path);
        m_message.MessageParts.Clear();
        m_message.MessageParts.AddAttachment(path);
        MemoryWriteTarget target;
        expectThrowText<FileError>([&] { write(target); },
                                   "Die Anlage " + path +
                                       " ist keine gewöhnliche Datei (etwa ein Ordner, eine Pipe oder ein "
                                       "Gerät); die begonnene Mail wird nicht abgeschlossen.");
        EXPECT_EQ(target.Lines().back(), "--=_NextPart_2rfkqmtzsadvnqw3nerasdf");
    }
}

TEST_F(MessageWriter, AttachmentGrowingWhileItIsReadFailsBeforeThePartEnds) {
    // The data goes out block by block as it is read; a program appending
    // to the file after the first block makes the reads end beyond the size
    // the file had when it was opened.
    struct AppendingTarget : MemoryWriteTarget {
        std::string path;
        bool appended = false;
        void WriteText(std::string_view text) override {
            MemoryWriteTarget::WriteText(text);
            if (appended || text.size() < 1000)
                return;
            appended = true;
            std::FILE* f = std::fopen(path.c_str(), "ab");
            std::fputs("noch mehr", f);
            std::fclose(f);
        }
    };
    const std::string data(57 * 8192 + 100, 'x');  // more than one block of reading
    m_message.MessageParts.AddAttachment(file("wachsend.log", data));
    AppendingTarget target;
    target.path = m_files.path("wachsend.log");
    expectThrowText<FileError>(
        [&] { write(target); },
        "Die Anlage " + target.path + " hat sich während des Versands geändert (zuvor " +
            std::to_string(data.size()) + " Bytes, jetzt " + std::to_string(data.size() + 9) +
            " Bytes); die begonnene Mail wird nicht abgeschlossen.");
    EXPECT_TRUE(target.appended);
    // The part never got its closing boundary.
    EXPECT_EQ(target.Bytes().find("--=_NextPart_2rfkqmtzsadvnqw3nerasdf--"), std::string::npos);
}

// The attachment is encoded straight onto the connection (the writer's
// throughput), so a temporary folder that cannot be used no longer matters.
TEST_F(MessageWriter, UnusableTemporaryFolderDoesNotStopAnAttachment) {
    m_message.MessageParts.AddAttachment(file("a.txt", "a"));
    ::setenv("TMPDIR", m_temp.path("gibt-es-nicht").c_str(), 1);
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    EXPECT_EQ(dataLines(lines, indexOf(lines, "        name=\"a.txt\"")), std::vector<std::string>{"YQ=="});
}

TEST_F(MessageWriter, ConnectionFailingHalfWayLeavesNoTemporaryFile) {
    std::string data(100000, 'x');
    m_message.MessageParts.AddAttachment(file("gross.bin", data));
    m_message.Body = {"b"};
    const size_t whole = write().size();
    ASSERT_EQ(m_temp.entryCount(), 0u);
    // Fail inside the base64 data, in the part headers, and at the very end.
    for (size_t limit : {whole / 2, size_t(700), whole - 3}) {
        SCOPED_TRACE(limit);
        MemoryWriteTarget target(limit);
        EXPECT_THROW(write(target), EIdSocketError);
        EXPECT_EQ(target.Bytes().size(), limit);
        EXPECT_EQ(m_temp.entryCount(), 0u);
    }
}

TEST_F(MessageWriter, PartExtraHeadersCannotAddLinesOrEndThePartHeaders) {
    TIdAttachment& part = m_message.MessageParts.AddAttachment(file("a.txt", "a"));
    part.ExtraHeaders.Add("X-Note: eins\r\n\r\nzwei");
    part.ExtraHeaders.Add("   ");
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    const size_t header = indexOf(lines, "        filename=\"a.txt\"");
    ASSERT_NE(header, std::string::npos);
    EXPECT_EQ(lines.at(header + 1), "X-Note: eins    zwei");
    EXPECT_EQ(lines.at(header + 2), "");
    EXPECT_EQ(lines.at(header + 3), "YQ==");
}

TEST_F(MessageWriter, EncodedTextLinesThatStartWithADotAreDoubledAfterASoftBreak) {
    // A body line longer than the coder's buffer is cut by soft breaks; the
    // piece after the break starts with "." and needs its second dot too.
    const std::string line = std::string(75, 'a') + "." + std::string(5000, 'b');
    m_message.MessageParts.AddText().Body = {line, "."};
    m_message.MessageParts.AddText().Body = {"x"};
    MemoryWriteTarget target;
    write(target);
    const auto lines = target.Lines();
    const size_t first = indexOf(lines, std::string(75, 'a') + "=");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(lines.at(first + 1).substr(0, 3), "..b");
    std::string decoded;
    size_t i = first;
    for (; lines.at(i).back() == '='; ++i)
        decoded += lines[i].substr(lines[i][0] == '.' ? 1 : 0, lines[i].size() - 1 - (lines[i][0] == '.'));
    decoded += lines[i].substr(lines[i][0] == '.' ? 1 : 0);
    EXPECT_EQ(decoded, line);
    EXPECT_EQ(lines.at(i + 1), "..");
    for (const auto& l : lines)
        EXPECT_NE(l, ".");
}

TEST_F(MessageWriter, ObserverHearsTheStatusOfEveryTextAndAttachment) {
    struct Recorder : IdWriterObserver {
        std::vector<std::string> events;
        void Status(std::string_view text) override { events.emplace_back(text); }
        void WorkBegin() override { events.emplace_back("begin"); }
        void WorkEnd() override { events.emplace_back("end"); }
    } recorder;
    m_message.MessageParts.AddAttachment(file("a.txt", "a"));
    m_message.MessageParts.AddAttachment(file("b.txt", "b"));
    MemoryWriteTarget target;
    WriteMessage(target, m_message, m_clock, &recorder);
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"begin", "Anlage wird codiert", "Anlage wird codiert", "end"}));
    m_message.MessageParts.Clear();
    recorder.events.clear();
    WriteMessage(target, m_message, m_clock, &recorder);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"begin", "Text wird codiert", "end"}));
}

TEST_F(MessageWriter, JapaneseLocaleSendsTheSinglePartBodyAndSubjectInIso2022Jp) {
    const char* old = std::getenv("LC_ALL");
    const std::optional<std::string> oldAll = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("LC_ALL", "ja_JP.SJIS", 1);
    m_message.Subject = "\x82\xA0";  // Hiragana "a" in Shift_JIS
    m_message.Body = {"\x82\xA0", ".x"};
    const std::string text = write();
    if (oldAll)
        ::setenv("LC_ALL", oldAll->c_str(), 1);
    else
        ::unsetenv("LC_ALL");
    // ESC $B 0x24 0x22 ESC ( B, in base64 inside the encoded word.
    EXPECT_NE(text.find("Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\r\n\x1b$B$\"\x1b(B\r\n..x\r\n"), std::string::npos);
}

// LC_ALL set to a Japanese locale for the lifetime of the object.
class JapaneseLocale {
public:
    JapaneseLocale() {
        if (const char* old = std::getenv("LC_ALL"))
            m_old = old;
        ::setenv("LC_ALL", "ja_JP.SJIS", 1);
    }
    ~JapaneseLocale() {
        if (m_old)
            ::setenv("LC_ALL", m_old->c_str(), 1);
        else
            ::unsetenv("LC_ALL");
    }
    JapaneseLocale(const JapaneseLocale&) = delete;
    JapaneseLocale& operator=(const JapaneseLocale&) = delete;

private:
    std::optional<std::string> m_old;
};

TEST_F(MessageWriter, JapaneseBodyLineWhoseDotFollowsADroppedByteStillHasItsDotDoubled) {
    // The conversion drops bytes that are no Shift_JIS; a "." behind them
    // starts the wire line, and a lone "." there would end the DATA section.
    m_message.Body = {"\x80.", "\x80.x", "\x8A\xFF\x9F.", "\xA0..", "Ende"};
    std::string text;
    {
        JapaneseLocale japanese;
        text = write();
    }
    EXPECT_TRUE(onlyCrLfLineEnds(text));
    EXPECT_NE(text.find("\r\n\r\n..\r\n..x\r\n..\r\n...\r\nEnde\r\n"), std::string::npos);
    MemoryWriteTarget target;
    target.WriteText(text);
    for (const auto& line : target.Lines())
        EXPECT_NE(line, ".");
}

TEST(Iso2022Jp, AsciiByteAfterALeadByteThatItCannotCompleteIsKept) {
    // The lead byte goes alone; line ends, blanks and dots stay.
    EXPECT_EQ(ConvertToIso2022Jp("a\x82\r\nb"), "a\r\nb");
    EXPECT_EQ(ConvertToIso2022Jp("\x9F."), ".");
    EXPECT_EQ(ConvertToIso2022Jp("\xE0 x"), " x");
    EXPECT_EQ(ConvertToIso2022Jp("\xF0\n"), "\n");  // user-defined area
    // Whole pairs are unchanged: a valid one converts, an invalid 8-bit one
    // and one of the user-defined area are dropped.
    EXPECT_EQ(ConvertToIso2022Jp("\x82\xA0."), "\x1b$B$\"\x1b(B.");
    EXPECT_EQ(ConvertToIso2022Jp("\x81\xFF."), ".");
    EXPECT_EQ(ConvertToIso2022Jp("\xF0\x40."), ".");
    EXPECT_EQ(ConvertToIso2022Jp("\x82"), "");
}

}  // namespace
}  // namespace sendrix::mail

namespace sendrix::mail {
namespace {

TEST_F(MessageWriter, ABoundaryTheContentHoldsIsReplacedByOneItHoldsNowhere) {
    const std::string mixed(kMixedBoundary);
    const std::string alternative(kAlternativeBoundary);
    struct Row {
        const char* name;
        std::vector<std::string> body;
        std::string attachmentBytes;
        std::string transfer;  // of the attachment; "" for base64
        std::string mixed;     // expected
        std::string alternative;
    } rows[] = {
        {"no clash keeps both", {"Text", "--" + mixed.substr(0, 20)}, "x", "", mixed, alternative},
        {"body line equal to the boundary", {"--" + mixed}, "x", "", mixed + "_1", alternative},
        {"closing line and the first variant",
         {"a", "--" + mixed + "--", "--" + mixed + "_1"},
         "x",
         "",
         mixed + "_2",
         alternative},
        {"inside a line, not at its start",
         {"siehe " + alternative + " hier"},
         "x",
         "",
         mixed,
         alternative + "_1"},
        {"variant with more digits", {"--" + mixed + "_10"}, "x", "", mixed + "_2", alternative},
        {"base64 attachment cannot hold it", {"b"}, "--" + mixed + "\r\n", "", mixed, alternative},
        // Across the writer's read blocks of 57 * 8192 bytes.
        {"attachment sent as it is",
         {"b"},
         std::string(57 * 8192 - 10, 'x') + "--" + mixed,
         "8bit",
         mixed + "_1",
         alternative},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_message.MessageParts.Clear();
        m_message.Body = row.body;
        TIdAttachment& attachment =
            m_message.MessageParts.AddAttachment(file("daten.txt", row.attachmentBytes));
        if (!row.transfer.empty())
            attachment.SetContentTransfer(row.transfer);
        MemoryWriteTarget target;
        write(target);
        const std::vector<std::string> lines = target.Lines();
        EXPECT_EQ(lines.at(3), "Content-Type: multipart/mixed; boundary=\"" + row.mixed + "\"");
        // Two delimiter lines and the closing one; no other line holds it.
        int delimiters = 0, closing = 0, others = 0;
        for (size_t i = 4; i < lines.size(); ++i) {
            if (lines[i] == "--" + row.mixed)
                ++delimiters;
            else if (lines[i] == "--" + row.mixed + "--")
                ++closing;
            else if (lines[i].find(row.mixed) != std::string::npos)
                ++others;
        }
        EXPECT_EQ(delimiters, 2);
        EXPECT_EQ(closing, 1);
        EXPECT_EQ(others, 0);
        EXPECT_EQ(lines.back(), "--" + row.mixed + "--");

        // The nested alternative of an HTML mailing follows the same rule.
        m_message.ContentType = "text/html";
        MemoryWriteTarget html;
        write(html);
        EXPECT_NE(html.Bytes().find("        boundary=\"" + row.alternative + "\"\r\n"), std::string::npos);
        m_message.ContentType = "text/plain";
    }
}

TEST_F(MessageWriter, ANulByteNeverReachesTheWireRaw) {
    m_message.Subject = std::string("Be\0treff", 8);
    m_message.From.SetNameAndAddress(std::string("Max\0Muster", 10), "max@example.com");
    m_message.Body = {std::string("vor\0nach", 8), "ASCII"};
    const std::string bytes = write();
    EXPECT_EQ(bytes.find('\0'), std::string::npos);
    EXPECT_NE(bytes.find("Subject: =?us-ascii?Q?Be=00treff?=\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("From: =?us-ascii?Q?Max=00Muster?= <max@example.com>\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("Content-Transfer-Encoding: quoted-printable\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n\r\nvor=00nach\r\nASCII\r\n"), std::string::npos);

    // A text part declared "7bit" or "8bit" that cannot be so goes
    // quoted-printable and says so; one that can keeps its declaration.
    const struct {
        std::string transfer;
        std::string line;
        std::string declared;
        std::string wire;
    } rows[] = {
        {"7bit", std::string("a\0b", 3), "quoted-printable", "a=00b"},
        {"8bit", std::string(999, 'x'), "quoted-printable", std::string(75, 'x') + "="},
        {"7bit", std::string(998, 'x'), "7bit", std::string(998, 'x')},
        {"8bit", "plain", "8bit", "plain"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.transfer + " " + row.declared);
        m_message.MessageParts.Clear();
        for (int i = 0; i < 2; ++i) {
            TIdText& part = m_message.MessageParts.AddText();
            part.Body = {row.line};
            part.SetContentTransfer(row.transfer);
        }
        const std::string text = write();
        EXPECT_EQ(text.find('\0'), std::string::npos);
        EXPECT_NE(text.find("Content-Transfer-Encoding: " + row.declared + "\r\n\r\n" + row.wire + "\r\n"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace sendrix::mail
