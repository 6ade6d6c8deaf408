// The coder framework, base64 and quoted-printable: the buffer boundary at
// 4096 bytes, line mode, padding, soft breaks and the registry lookup.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mail/id_coder.h"
#include "mail/id_coder_3to4.h"
#include "mail/id_coder_quoted_printable.h"

namespace sendrix::mail {
namespace {

std::string sampleBytes(size_t size, unsigned seed = 1) {
    std::string data(size, '\0');
    unsigned x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = char(x >> 16);
    }
    return data;
}

// RFC 4648 base64 of the whole input, written from the standard's table, to
// compare the encoder with.
std::string referenceBase64(const std::string& in) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const unsigned v =
            (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (in.size() - i == 1) {
        const unsigned v = (unsigned char)in[i] << 16;
        out += std::string{table[v >> 18], table[(v >> 12) & 63], '=', '='};
    } else if (in.size() - i == 2) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += std::string{table[v >> 18], table[(v >> 12) & 63], table[(v >> 6) & 63], '='};
    }
    return out;
}

// Quoted-printable decoding (soft breaks removed, =XX resolved).
std::string decodeQuotedPrintable(const std::string& in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out += in[i];
        } else if (in.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else {
            out += char(std::stoi(in.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

TEST(Base64, ShortInputsPadToFourCharacters) {
    EXPECT_EQ(EncodeBase64Text(""), "");
    EXPECT_EQ(EncodeBase64Text("M"), "TQ==");
    EXPECT_EQ(EncodeBase64Text("Ma"), "TWE=");
    EXPECT_EQ(EncodeBase64Text("Man"), "TWFu");
    EXPECT_EQ(EncodeBase64Text("\xFF\xFE\xFD"), "//79");
    EXPECT_EQ(EncodeBase64Text("benutzer@example.org"), "YmVudXR6ZXJAZXhhbXBsZS5vcmc=");
}

TEST(Base64, FeedsOfAnySizeGiveTheSameTextAsOneWholeEncoding) {
    // 4096 is no multiple of 3: a full buffer must keep its last byte for
    // the next round instead of padding in the middle.
    const std::string data = sampleBytes(3 * 4096 + 1000);
    for (size_t piece :
         {size_t(1), size_t(57), size_t(4095), size_t(4096), size_t(4097), size_t(10000), data.size()}) {
        SCOPED_TRACE(piece);
        TIdBase64Encoder encoder;
        for (size_t at = 0; at < data.size(); at += piece)
            encoder.Feed(std::string_view(data).substr(at, piece));
        EXPECT_EQ(encoder.Finish(), referenceBase64(data));
    }
}

TEST(Base64, LineModeEndsEveryPieceWithCrLfAndAnEmptyFinishGivesNothing) {
    TIdBase64Encoder encoder;
    encoder.SetLineMode(true);
    EXPECT_EQ(encoder.Finish(), "");
    const std::string chunk = sampleBytes(57);
    encoder.Feed(chunk);
    const std::string line = encoder.Finish();
    ASSERT_EQ(line.size(), 78u);
    EXPECT_EQ(line, referenceBase64(chunk) + "\r\n");
    EXPECT_EQ(line.find('='), std::string::npos);
    // After Finish the coder starts a new, independent piece.
    encoder.Feed("a");
    EXPECT_EQ(encoder.Finish(), "YQ==\r\n");
    // A feed beyond the buffer gives one piece per full buffer.
    const std::string big = sampleBytes(5000);
    encoder.Feed(big);
    const std::string text = encoder.Finish();
    const size_t firstEnd = text.find("\r\n");
    ASSERT_NE(firstEnd, std::string::npos);
    EXPECT_EQ(firstEnd, 4095u / 3 * 4);
    EXPECT_EQ(text.substr(0, firstEnd) + text.substr(firstEnd + 2, text.size() - firstEnd - 4),
              referenceBase64(big));
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(Base64, ChunkedEncodingMatchesFeedAndFinishPerChunk) {
    for (size_t size : {size_t(0), size_t(56), size_t(57), size_t(58), size_t(57 * 100 + 1), size_t(70001)}) {
        for (size_t chunk : {size_t(57), size_t(58), size_t(3), size_t(1)}) {
            SCOPED_TRACE(std::to_string(size) + "/" + std::to_string(chunk));
            const std::string data = sampleBytes(size, unsigned(size + chunk));
            std::string expected;
            TIdBase64Encoder slow;
            slow.SetLineMode(true);
            for (size_t at = 0; at < size; at += chunk) {
                slow.Feed(std::string_view(data).substr(at, chunk));
                expected += slow.Finish();
            }
            TIdBase64Encoder fast;
            fast.SetLineMode(true);
            std::string actual;
            fast.EncodeChunks(data, chunk, actual);
            EXPECT_EQ(actual, expected);
        }
    }
}

TEST(PassThroughCoder, OutputEqualsInputAlsoBeyondTheBuffer) {
    const std::string data = sampleBytes(9000);
    TIdCoder coder;
    coder.Feed(data.substr(0, 5000));
    coder.Feed(data.substr(5000));
    EXPECT_EQ(coder.Finish(), data);
}

std::string quotedPrintable(const std::string& input) {
    TIdQuotedPrintableEncoder encoder;
    encoder.Feed(input);
    return encoder.Finish();
}

TEST(QuotedPrintable, EscapesTheUnsafeBytesAndKeepsTheRest) {
    EXPECT_EQ(quotedPrintable("a=b"), "a=3Db");
    EXPECT_EQ(quotedPrintable("!\"#$@[\\]^`{|}~"), "=21=22=23=24=40=5B=5C=5D=5E=60=7B=7C=7D=7E");
    EXPECT_EQ(quotedPrintable("%&'()*+,-./09:;<>?AZ_az"), "%&'()*+,-./09:;<>?AZ_az");
    EXPECT_EQ(quotedPrintable("a\tb"), "a=09b");
    EXPECT_EQ(quotedPrintable("Gr\xFC\xDF"
                              "e \x80"),
              "Gr=FC=DFe =80");
    EXPECT_EQ(quotedPrintable("lone\rcr\nlf"), "lone=0Dcr=0Alf");
}

TEST(QuotedPrintable, BlankBeforeALineEndOrTheEndIsWrittenEquals20) {
    EXPECT_EQ(quotedPrintable("a b \r\n"), "a b=20\r\n");
    EXPECT_EQ(quotedPrintable("ende "), "ende=20");
    EXPECT_EQ(quotedPrintable("\r\n"), "\r\n");
    EXPECT_EQ(quotedPrintable("a\r\n\r\nb"), "a\r\n\r\nb");
}

TEST(QuotedPrintable, HeldCrWaitsForTheNextFeed) {
    TIdQuotedPrintableEncoder encoder;
    encoder.Feed("a\r");
    encoder.Feed("\nb");
    EXPECT_EQ(encoder.Finish(), "a\r\nb");
    encoder.Feed("a\r");
    encoder.Feed("b");
    EXPECT_EQ(encoder.Finish(), "a=0Db");
    encoder.Feed("a\r");
    EXPECT_EQ(encoder.Finish(), "a=0D");
    // A CR that ends a full buffer is held across it as well.
    encoder.Feed(std::string(4095, 'x') + "\r");
    encoder.Feed("\n");
    const std::string text = encoder.Finish();
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find("=0D"), std::string::npos);
}

TEST(QuotedPrintable, SoftBreaksAfter75CharactersNeverSplitAnEscape) {
    EXPECT_EQ(quotedPrintable(std::string(80, 'x')), std::string(75, 'x') + "=\r\n" + std::string(5, 'x'));
    EXPECT_EQ(quotedPrintable(std::string(75, 'x')), std::string(75, 'x'));
    // "=FF" starting at the 73rd, 74th, 75th and 76th character.
    for (size_t before : {size_t(72), size_t(73), size_t(74), size_t(75)}) {
        SCOPED_TRACE(before);
        const std::string text = quotedPrintable(std::string(before, 'x') + "\xFF" + std::string(10, 'y'));
        const size_t cut = text.find("=\r\n");
        ASSERT_NE(cut, std::string::npos);
        EXPECT_EQ(cut, before);
        EXPECT_EQ(text.substr(cut + 3, 3), "=FF");
    }
    // A line that has its line end is never cut.
    EXPECT_EQ(quotedPrintable(std::string(100, 'x') + "\r\n"), std::string(100, 'x') + "\r\n");
}

TEST(QuotedPrintable, LongFeedsDecodeBackToTheInput) {
    std::string input;
    for (int i = 0; i < 300; ++i)
        input += "Zeile " + std::to_string(i) + " mit =, \xE4 und \t " + std::string(size_t(i % 90), 'a') +
                 (i % 7 == 0 ? " " : "") + "\r\n";
    input += std::string(9000, 'z') + "\xFF";
    for (size_t piece : {size_t(1), size_t(100), size_t(4096), input.size()}) {
        SCOPED_TRACE(piece);
        TIdQuotedPrintableEncoder encoder;
        for (size_t at = 0; at < input.size(); at += piece)
            encoder.Feed(std::string_view(input).substr(at, piece));
        const std::string text = encoder.Finish();
        EXPECT_EQ(decodeQuotedPrintable(text), input);
        // Every line is plain printable ASCII; soft-broken ones stay within 76.
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '=') {
                EXPECT_LE(line.size(), 76u);
            }
            for (char c : line)
                EXPECT_TRUE(c >= 32 && c <= 126) << int(c);
            EXPECT_TRUE(line.empty() || line.back() != ' ');
            start = end + 2;
        }
    }
}

TEST(CoderRegistry, FindsTheEncoderByTransferEncodingWithoutRegardToCase) {
    const auto& registry = TIdCoderCollection::Instance();
    struct Row {
        const char* contentType;
        const char* transfer;
        const char* coder;
    };
    const Row rows[] = {
        {"", "base64", "TIdBase64Encoder"},
        {"application/octet-stream", "BASE64", "TIdBase64Encoder"},
        {"text/plain", "Quoted-Printable", "TIdQuotedPrintableEncoder"},
        {"", "x-uu", "TIdUUEncoder"},
        {"", "x-xx", "TIdXXEncoder"},
        {"text/plain", "7bit", "TIdCoder"},
        {"text/plain", "8bit", "TIdCoder"},
        {"application/octet-stream", "", "TIdCoder"},
        {"text/", "", "TIdCoder"},  // only a decoder is registered for it
        {"", "", "TIdCoder"},
        {"application/pdf", "x-unknown", "TIdCoder"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.contentType) + " / " + row.transfer);
        const TIdCoderItem& item = registry.FindCoder(row.contentType, row.transfer);
        EXPECT_EQ(item.className, row.coder);
        EXPECT_EQ(item.direction, TIdCoderDirection::Encoder);
    }
    EXPECT_EQ(registry.Items().size(), 14u);
    std::unique_ptr<TIdCoder> coder = FindCoder("", "Base64");
    coder->Feed("Man");
    EXPECT_EQ(coder->Finish(), "TWFu");
}

}  // namespace
}  // namespace sendrix::mail
