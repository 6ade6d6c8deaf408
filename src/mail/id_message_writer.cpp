#include "mail/id_message_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <typeinfo>

#include "mail/id_coder.h"
#include "mail/id_coder_3to4.h"
#include "mail/id_coder_quoted_printable.h"
#include "mail/id_exception.h"
#include "mail/html_text.h"
#include "mail/id_header_coder.h"
#include "mail/media_types.h"
#include "mail/wire_charset.h"
#include "mail/wire_line_cache.h"
#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/text_codec.h"

namespace sendrix::mail {

namespace {

constexpr std::string_view kPreamble = "This is a multi-part message in MIME format";
constexpr std::string_view kTextStatus = "Text wird codiert";
constexpr std::string_view kAttachmentStatus = "Anlage wird codiert";

// One base64 line per 57 bytes (76 characters, RFC 2045 6.8). Reads and
// encoding go in blocks of many chunks; the block is a multiple of 57, so
// the lines come out exactly as chunk by chunk.
constexpr size_t kChunkSize = 57;
constexpr size_t kBlockSize = kChunkSize * 8192;
// The encoded block goes to the connection in pieces of 420 lines (32,760
// bytes, about its send buffer): a write of the whole block fills the socket
// buffer at once and then waits for the peer to drain it, where pieces keep
// both sides moving (bench_attachment_mailing: about twice as fast).
constexpr size_t kWritePiece = 420 * 78;

// SMTP transparency (RFC 5321 4.5.2): a line that begins with "." gets one
// more, which the server removes again.
std::string withDoubledDot(std::string_view line) {
    std::string out;
    out.reserve(line.size() + 1);
    if (!line.empty() && line.front() == '.')
        out += '.';
    out.append(line);
    return out;
}

// Calls `emit` with every line of `text`. CR LF, a lone CR and a lone LF all
// end a line: a bare CR or LF must never reach the wire, where "\n.\n" could
// end the DATA section for some servers. A line end at the very end of the
// text does not start another line.
template <typename Emit>
void forEachLine(std::string_view text, Emit emit) {
    size_t start = 0;
    const size_t n = text.size();
    while (start < n) {
        const size_t end = platform::findLineBreak(text, start);
        if (end == std::string_view::npos) {
            emit(text.substr(start));
            return;
        }
        emit(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') ? 2 : 1);
    }
}

// The lines of a body as they go out: a line holding CR or LF is split
// there. An empty body line stays one empty line, and a line end at the end
// of a body line still stands for an empty line after it.
bool holdsLineBreak(const std::string& line) {
    return platform::findLineBreak(line) != std::string::npos;
}

std::vector<std::string> splitBodyLines(const std::vector<std::string>& body) {
    std::vector<std::string> lines;
    lines.reserve(body.size());
    for (const std::string& line : body) {
        if (!holdsLineBreak(line)) {
            lines.push_back(line);
            continue;
        }
        forEachLine(line, [&](std::string_view piece) { lines.emplace_back(piece); });
        if (line.back() == '\r' || line.back() == '\n')
            lines.emplace_back();
    }
    return lines;
}

// One wire line and its CR LF, dot-doubled.
void appendWireLine(std::string& wire, std::string_view line) {
    if (!line.empty() && line.front() == '.')
        wire += '.';
    wire.append(line);
    wire += "\r\n";
}

// The wire text of one body line in `encoding`: its wire lines, each with
// its CR LF and dot-doubled. The dots are doubled on the encoded lines: the
// ISO-2022-JP conversion can drop bytes in front of a ".", and a soft line
// break can put one at the start of any wire line; every such line needs
// its second dot.
std::string encodedWireLine(std::string_view line, const TextEncoding& encoding) {
    std::string wire;
    if (!encoding.quotedPrintable) {
        appendWireLine(wire, ToWireBytes(line, encoding.charset));
        return wire;
    }
    // Each line is fed without its line end: the coder cuts a line only
    // where its input stops, never within a line it sees end, so the soft
    // breaks of a long line (RFC 2045 6.7 rule 5) come only this way.
    TIdQuotedPrintableEncoder coder;
    coder.Feed(ToWireBytes(line, encoding.charset));
    const std::string encoded = coder.Finish();
    if (encoded.empty())
        wire += "\r\n";
    forEachLine(encoded, [&](std::string_view piece) { appendWireLine(wire, piece); });
    return wire;
}

// The wire text of `lines` in `encoding`, each line's from `cache` when one
// is given.
std::string encodedWireText(const std::vector<std::string>& lines, const TextEncoding& encoding,
                            WireLineCache* cache = nullptr) {
    std::string wire;
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    wire.reserve(size + size / 8);
    for (const std::string& line : lines)
        wire += cache ? cache->wireText(line, encoding, encodedWireLine) : encodedWireLine(line, encoding);
    return wire;
}

// The same for lines the cache has looked up already (`kept`, one for each).
std::string encodedWireText(const std::vector<std::string>& lines, const TextEncoding& encoding,
                            WireLineCache& cache, const std::vector<WireLineCache::Line*>& kept) {
    std::string wire;
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    wire.reserve(size + size / 8);
    for (size_t i = 0; i < lines.size(); ++i)
        wire += cache.wireText(*kept[i], lines[i], encoding, encodedWireLine);
    return wire;
}

// Wire text onto the target in pieces of kWritePiece, as attachments go.
void writeWireText(IdWriteTarget& target, std::string_view wire) {
    for (size_t at = 0; at < wire.size(); at += kWritePiece)
        target.WriteText(wire.substr(at, kWritePiece));
}

// "type; charset=name" for text in a charset other than ASCII; a charset
// parameter already in `type` is replaced, since the bytes are what the
// choice made them. ASCII text keeps the type as it is.
std::string withCharset(std::string_view type, const WireCharset& charset, bool declareAscii = false) {
    std::string value(type);
    if (charset.kind == WireCharsetKind::Ascii && !declareAscii)
        return value;
    const size_t at = platform::asciiLowered(value).find("charset=");
    if (at != std::string::npos) {
        size_t end = value.find(';', at);
        end = end == std::string::npos ? value.size() : end + 1;
        value.erase(at, end - at);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == ';' || value.back() == '\t'))
        value.pop_back();
    return value + "; charset=" + charset.name;
}

// Fills `buffer` from `file` up to its size or the end of the file; returns
// the number of bytes read.
size_t readBlock(platform::File& file, std::string& buffer, const std::string& name) {
    const ssize_t n = file.readFull(buffer.data(), buffer.size());
    if (n < 0) {
        const int error = errno;  // before building the text, which may change it
        throw platform::fileFailure("Datei " + name + " kann nicht gelesen werden", error,
                                    platform::ReasonAt::AfterColon);
    }
    return static_cast<size_t>(n);
}

// Output of a coder that may hold any byte (the pass-through coder of
// "7bit" and "8bit", the UU table with its "."): every line ends in CR LF
// and a leading "." is doubled, so file content can never end the DATA
// section. Base64 output needs none of this.
std::string wireSafe(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size() + encoded.size() / 64 + 2);
    forEachLine(encoded, [&](std::string_view line) {
        if (!line.empty() && line.front() == '.')
            out += '.';
        out.append(line);
        out += "\r\n";
    });
    return out;
}

// Encodes the whole file onto the target, as the coder gives it for each
// 57-byte chunk in line mode, each block in pieces of kWritePiece. Returns
// the number of bytes read.
std::uint64_t encodeFileInto(platform::File& source, const std::string& sourceName, TIdCoder& coder,
                             IdWriteTarget& target) {
    std::uint64_t total = 0;
    const bool safeAlphabet = dynamic_cast<TIdBase64Encoder*>(&coder) != nullptr;
    std::string block(kBlockSize, '\0');
    std::string encoded;
    encoded.reserve(kBlockSize / kChunkSize * 78);
    for (;;) {
        const size_t length = readBlock(source, block, sourceName);
        if (length == 0)
            break;
        total += length;
        encoded.clear();
        coder.EncodeChunks(std::string_view(block.data(), length), kChunkSize, encoded);
        const std::string safe = safeAlphabet ? std::string() : wireSafe(encoded);
        const std::string_view out = safeAlphabet ? std::string_view(encoded) : std::string_view(safe);
        for (size_t at = 0; at < out.size(); at += kWritePiece)
            target.WriteText(out.substr(at, kWritePiece));
        if (length < block.size())
            break;
    }
    return total;
}

std::uint64_t openFileSize(const platform::File& file) {
    struct stat info {};
    return ::fstat(file.fd(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

FileError changedAttachment(const std::string& path, std::uint64_t before, std::uint64_t now) {
    return FileError("Die Anlage " + path + " hat sich während des Versands geändert (zuvor " +
                     std::to_string(before) + " Bytes, jetzt " + std::to_string(now) +
                     " Bytes); die begonnene Mail wird nicht abgeschlossen.");
}

// An HTML body of its own (no text parts): it goes out as
// multipart/alternative with a plain-text rendering first, since receivers
// distrust HTML-only mail (SpamAssassin's MIME_HTML_ONLY).
bool isHtmlMailing(const TIdMessage& message) {
    for (int i = 0; i < message.MessageParts.Count(); ++i)
        if (message.MessageParts.Items(i).Kind() == TIdMessagePartKind::Text)
            return false;
    return platform::startsWithNoCase(message.ContentType, "text/html");
}

// One text part of the alternative: its header lines, its lines in the
// encoding chosen for them, the empty line after them.
void writeTextBody(IdWriteTarget& target, std::string_view type, const std::vector<std::string>& lines,
                   const platform::LocaleLanguage& language, WireLineCache* cache) {
    const TextEncoding encoding = ChooseTextEncoding(lines, language);
    target.WriteLine("Content-Type: " + withCharset(type, encoding.charset, true));
    target.WriteLine("Content-Transfer-Encoding: " + encoding.transferEncoding());
    target.WriteLine("");
    writeWireText(target, encodedWireText(lines, encoding, cache));
    target.WriteLine("");
}

void status(IdWriterObserver* observer, std::string_view text);

// Quoted-printable writes "=" as "=3D", and the base64, UU and XX
// alphabets lack "_" or the lower-case letters: only text that goes out as
// it is can hold a boundary.
constexpr std::string_view kBoundaryStem = "=_NextPart_";
// Longer than any boundary chosen here (a fixed one plus "_" and a number).
constexpr size_t kBoundaryScanLength = 64;

// What of the body section could be taken for a boundary: each place where
// the stem occurs, with what follows it.
class BoundaryClashes {
public:
    void scan(std::string_view bytes) {
        for (size_t at = bytes.find(kBoundaryStem); at != std::string_view::npos;
             at = bytes.find(kBoundaryStem, at + 1))
            m_seen.emplace(bytes.substr(at, kBoundaryScanLength));
    }
    void scan(const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            scan(line);
    }
    // A file in blocks, each after the last bytes of the one before, so an
    // occurrence across two blocks is found whole.
    void scanFile(const std::string& path) {
        platform::File file = platform::File::open(path, O_RDONLY);
        if (!file.isOpen())
            return;  // the attachment's part reports it
        std::string block(kBlockSize, '\0');
        std::string joined;
        for (;;) {
            const ssize_t n = file.readFull(block.data(), block.size());
            if (n <= 0)
                break;
            joined.append(block, 0, static_cast<size_t>(n));
            scan(joined);
            joined.erase(0, joined.size() > kBoundaryScanLength ? joined.size() - kBoundaryScanLength : 0);
            if (static_cast<size_t>(n) < block.size())
                break;
        }
    }

    // `fixed` when the content holds it nowhere; otherwise the first of
    // fixed + "_1", "_2", ... it does not hold.
    std::string choose(std::string_view fixed) const {
        std::string candidate(fixed);
        for (int n = 1; clashes(candidate); ++n)
            candidate = std::string(fixed) + "_" + std::to_string(n);
        return candidate;
    }

private:
    bool clashes(const std::string& candidate) const {
        // The entries are sorted: those beginning with `candidate` follow it.
        const auto it = m_seen.lower_bound(candidate);
        return it != m_seen.end() && it->starts_with(candidate);
    }

    std::set<std::string> m_seen;
};

struct Boundaries {
    std::string mixed;
    std::string related;
    std::string alternative;
    std::string inlineImages;
};

// What the writer works out of a message once, for its header block and its
// body section alike: the parts, the lines of the message's own body as they
// go out and their encoding (an HTML body's plain-text rendering instead:
// its two texts each choose their own), the boundaries of a multipart.
struct MessageLayout {
    PartCounts counts;
    platform::LocaleLanguage language;
    // The message's body lines as they go out: the body itself unless a
    // line of it holds a line break (then `splitLines`).
    const std::vector<std::string>* body = nullptr;
    std::optional<std::vector<std::string>> splitLines;
    const std::vector<std::string>& bodyLines() const { return splitLines ? *splitLines : *body; }
    bool htmlMailing = false;
    std::vector<std::string> htmlAsText;
    bool multipart = false;
    Boundaries boundaries;
    TextEncoding bodyEncoding;
    // Where the body's wire lines are kept between messages; may be null.
    WireLineCache* cache = nullptr;
    // The body's lines in the cache, when it has them (not for HTML).
    std::vector<WireLineCache::Line*> keptLines;
};

// The message's own body lines in their encoding: from the kept lines where
// the cache has them.
std::string bodyWireText(const MessageLayout& layout) {
    if (layout.cache && !layout.keptLines.empty())
        return encodedWireText(layout.bodyLines(), layout.bodyEncoding, *layout.cache, layout.keptLines);
    return encodedWireText(layout.bodyLines(), layout.bodyEncoding, layout.cache);
}

// The HTML and the images it shows by "cid:", as one multipart/related
// part (RFC 2387): readers show the images in the text, not as attachments.
void writeHtmlWithImages(IdWriteTarget& target, const TIdMessage& message, const MessageLayout& layout,
                         IdWriterObserver* observer) {
    const std::string boundaryLine = "--" + layout.boundaries.inlineImages;
    target.WriteLine("Content-Type: multipart/related; type=\"text/html\"; ");
    target.WriteLine("        boundary=\"" + layout.boundaries.inlineImages + "\"");
    target.WriteLine("");
    target.WriteLine(boundaryLine);
    writeTextBody(target, message.ContentType, layout.bodyLines(), layout.language, layout.cache);
    for (const TIdInlineImage& image : message.InlineImages) {
        target.WriteLine(boundaryLine);
        status(observer, kAttachmentStatus);
        TIdAttachment part(image.fileName);
        part.SetContentDisposition("inline");
        part.ExtraHeaders.SetHeaderValue("Content-ID", "<" + image.contentId + ">");
        WriteAttachmentPart(target, part);
    }
    target.WriteLine(boundaryLine + "--");
}

// The plain-text rendering, then the HTML itself, between `boundary` lines.
void writeHtmlAlternative(IdWriteTarget& target, const TIdMessage& message, const MessageLayout& layout,
                          std::string_view boundary, IdWriterObserver* observer) {
    const std::string boundaryLine = "--" + std::string(boundary);
    target.WriteLine(boundaryLine);
    status(observer, kTextStatus);
    writeTextBody(target, "text/plain", layout.htmlAsText, layout.language, layout.cache);
    target.WriteLine(boundaryLine);
    status(observer, kTextStatus);
    if (message.InlineImages.empty())
        writeTextBody(target, message.ContentType, layout.bodyLines(), layout.language, layout.cache);
    else
        writeHtmlWithImages(target, message, layout, observer);
    target.WriteLine(boundaryLine + "--");
}

// A body line equal to a boundary line (or beginning with one and "--")
// would end its part early and let the rest be read as parts of the
// sender's making: each fixed boundary stays unless the content holds it.
Boundaries chooseBoundaries(const TIdMessage& message, const MessageLayout& layout) {
    BoundaryClashes content;
    content.scan(layout.bodyLines());
    if (layout.htmlMailing)
        content.scan(layout.htmlAsText);
    for (int i = 0; i < message.MessageParts.Count(); ++i) {
        const TIdMessagePart& part = message.MessageParts.Items(i);
        content.scan(part.ExtraHeaders.Lines());
        if (part.Kind() == TIdMessagePartKind::Text) {
            content.scan(splitBodyLines(static_cast<const TIdText&>(part).Body));
            continue;
        }
        const auto& attachment = static_cast<const TIdAttachment&>(part);
        content.scan(AttachmentHeaderName(attachment.FileName()));
        const std::string transfer =
            attachment.ContentTransfer().empty() ? "base64" : attachment.ContentTransfer();
        const std::unique_ptr<TIdCoder> coder = FindCoder(attachment.ContentType(), transfer);
        // Only the pass-through coder hands file bytes on as they are.
        if (typeid(*coder) == typeid(TIdCoder))
            content.scanFile(attachment.FileName());
    }
    return {content.choose(kMixedBoundary), content.choose(kRelatedBoundary),
            content.choose(kAlternativeBoundary), content.choose(kInlineImagesBoundary)};
}

// A multipart's type, or the single part's declared text. RFC 2045's
// grammar allows no ";" after the last parameter.
TopLevelDeclaration topLevelDeclaration(const TIdMessage& message, const MessageLayout& layout) {
    const PartCounts& counts = layout.counts;
    const Boundaries& boundaries = layout.boundaries;
    TopLevelDeclaration declaration;
    declaration.mimeVersion = message.MessageParts.Count() > 0;
    if (counts.related >= 1)
        declaration.contentType =
            "multipart/related; type=\"multipart/alternative\"; boundary=\"" + boundaries.related + "\"";
    else if (counts.attachments >= 1)
        declaration.contentType = "multipart/mixed; boundary=\"" + boundaries.mixed + "\"";
    else if (counts.texts >= 1 || layout.htmlMailing)
        declaration.contentType = "multipart/alternative; boundary=\"" + boundaries.mixed + "\"";
    if (!declaration.contentType.empty()) {
        declaration.mimeVersion = true;
        return declaration;
    }

    const TextEncoding& encoding = layout.bodyEncoding;
    if (encoding.declared()) {
        declaration.contentType =
            withCharset(message.ContentType.empty() ? "text/plain" : message.ContentType, encoding.charset);
        declaration.mimeVersion = true;
        declaration.transferEncoding = encoding.transferEncoding();
        return declaration;
    }
    declaration.contentType = message.ContentType;
    if (!message.CharSet.empty())
        declaration.contentType +=
            (declaration.contentType.empty() ? "charset=" : "; charset=") + message.CharSet;
    return declaration;
}

PartCounts countParts(const TIdMessage& message) {
    PartCounts counts;
    for (int i = 0; i < message.MessageParts.Count(); ++i) {
        const TIdMessagePart& part = message.MessageParts.Items(i);
        if (part.Kind() == TIdMessagePartKind::Attachment) {
            ++counts.attachments;
            if (static_cast<const TIdAttachment&>(part).IsRelated())
                ++counts.related;
        } else {
            ++counts.texts;
        }
    }
    return counts;
}

// Everything but the boundaries, which are chosen from what this finds; the
// body's lines are looked up in `cache` when one is given.
MessageLayout layoutOf(const TIdMessage& message, WireLineCache* cache = nullptr) {
    MessageLayout layout;
    layout.cache = cache;
    layout.counts = countParts(message);
    layout.language = platform::localeLanguage();
    layout.body = &message.Body;
    layout.htmlMailing = isHtmlMailing(message);
    // The cache knows of each line whether it holds a line break: a list
    // send's body is looked at once.
    if (cache && !layout.htmlMailing) {
        layout.keptLines = cache->lines(message.Body);
        const auto split = [](const WireLineCache::Line* line) { return line->facts().lineBreak; };
        if (std::any_of(layout.keptLines.begin(), layout.keptLines.end(), split)) {
            layout.splitLines = splitBodyLines(message.Body);
            layout.keptLines = cache->lines(*layout.splitLines);
        }
    } else if (std::any_of(message.Body.begin(), message.Body.end(), holdsLineBreak)) {
        layout.splitLines = splitBodyLines(message.Body);
    }
    if (layout.htmlMailing)
        layout.htmlAsText = RenderHtmlAsText(layout.bodyLines());
    layout.multipart = layout.counts.attachments >= 1 || layout.counts.texts >= 1 || layout.htmlMailing;
    if (layout.htmlMailing)
        return layout;
    std::optional<TextEncoding> fromFacts;
    if (cache) {
        std::vector<const LineFacts*> facts;
        facts.reserve(layout.keptLines.size());
        for (const WireLineCache::Line* line : layout.keptLines)
            facts.push_back(&line->facts());
        fromFacts = ChooseTextEncoding(facts, layout.language);
    }
    layout.bodyEncoding = fromFacts ? *fromFacts : ChooseTextEncoding(layout.bodyLines(), layout.language);
    return layout;
}

// The layout of `message` for writing it: a single part has no boundaries.
MessageLayout messageLayout(const TIdMessage& message, WireLineCache* cache = nullptr) {
    MessageLayout layout = layoutOf(message, cache);
    if (layout.multipart)
        layout.boundaries = chooseBoundaries(message, layout);
    return layout;
}

const WireCharset kUtf8{WireCharsetKind::Utf8, "UTF-8", 'B'};

// A file name for name="..." and filename="...": ASCII as it is; otherwise
// one encoded word, which readers without RFC 2231 understand there.
std::string plainParameterValue(const std::string& name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80 || static_cast<unsigned char>(c) < 0x20)
            return "=?UTF-8?B?" + EncodeBase64Text(name) + "?=";
    return name;
}

// RFC 2231 "filename*" in UTF-8 with percent escapes, in sections of up to
// 60 characters so no line grows long, each section ending in ";" as the
// plain "filename" follows. None for an ASCII name.
std::vector<std::string> rfc2231FileNameLines(const std::string& name) {
    if (plainParameterValue(name) == name)
        return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> pieces(1);
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        std::string token;
        // RFC 2231 attribute-char: printable ASCII but specials, blank, "*", "'", "%".
        if (b > 0x20 && b < 0x7F &&
            std::string_view("()<>@,;:\\\"/[]?=*'%").find(c) == std::string_view::npos) {
            token = c;
        } else {
            token = {'%', kHex[b >> 4], kHex[b & 15]};
        }
        if (pieces.back().size() + token.size() > 60)
            pieces.emplace_back();
        pieces.back() += token;
    }
    std::vector<std::string> lines;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::string attribute =
            pieces.size() == 1 ? "filename*=" : "filename*" + std::to_string(i) + "*=";
        lines.push_back("        " + attribute + (i == 0 ? "UTF-8''" : "") + pieces[i] + ";");
    }
    return lines;
}

void status(IdWriterObserver* observer, std::string_view text) {
    if (observer)
        observer->Status(text);
}

void writeTextParts(IdWriteTarget& target, TIdMessage& message, std::string_view boundary,
                    IdWriterObserver* observer) {
    const std::string boundaryLine = "--" + std::string(boundary);
    for (int i = 0; i < message.MessageParts.Count(); ++i) {
        TIdMessagePart& part = message.MessageParts.Items(i);
        if (part.Kind() != TIdMessagePartKind::Text)
            continue;
        target.WriteLine(boundaryLine);
        status(observer, kTextStatus);
        WriteTextPart(target, static_cast<TIdText&>(part));
    }
    target.WriteLine(boundaryLine + "--");
}

// The body's own part is declared with the message's text type, so an HTML
// mailing with attachments still reads as HTML (declared "text/plain" its
// recipients would see the tags). Anything but text stays "text/plain".
std::string firstPartContentType(const TIdMessage& message) {
    const std::string& type = message.ContentType;
    return platform::startsWithNoCase(type, "text/") ? type : "text/plain";
}

void writeMixed(IdWriteTarget& target, TIdMessage& message, const MessageLayout& layout,
                IdWriterObserver* observer) {
    const PartCounts& counts = layout.counts;
    const Boundaries& boundaries = layout.boundaries;
    const std::string boundaryLine = "--" + (counts.related >= 1 ? boundaries.related : boundaries.mixed);
    target.WriteLine(kPreamble);
    target.WriteLine("");
    target.WriteLine(boundaryLine);
    if (counts.texts == 0 && layout.htmlMailing) {
        target.WriteLine("Content-Type: multipart/alternative; ");
        target.WriteLine("        boundary=\"" + boundaries.alternative + "\"");
        target.WriteLine("");
        writeHtmlAlternative(target, message, layout, boundaries.alternative, observer);
    } else if (counts.texts == 0) {
        const TextEncoding& encoding = layout.bodyEncoding;
        target.WriteLine("Content-Type: " + withCharset(firstPartContentType(message), encoding.charset));
        target.WriteLine("Content-Transfer-Encoding: " + encoding.transferEncoding());
        target.WriteLine("");
        writeWireText(target, bodyWireText(layout));
    } else {
        target.WriteLine("Content-Type: multipart/alternative; ");
        target.WriteLine("        boundary=\"" + boundaries.alternative + "\"");
        target.WriteLine("");
        writeTextParts(target, message, boundaries.alternative, observer);
    }
    for (int i = 0; i < message.MessageParts.Count(); ++i) {
        TIdMessagePart& part = message.MessageParts.Items(i);
        if (part.Kind() != TIdMessagePartKind::Attachment)
            continue;
        target.WriteLine("");
        target.WriteLine(boundaryLine);
        status(observer, kAttachmentStatus);
        WriteAttachmentPart(target, static_cast<TIdAttachment&>(part));
    }
    target.WriteLine(boundaryLine + "--");
}

}  // namespace

std::string AttachmentHeaderName(std::string_view path) {
    const size_t cut = path.find_last_of("/\\");
    const std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
    std::string text = ToWireBytes(name, kUtf8);
    for (char& c : text) {
        // A line break would end the header line, a double quote the
        // parameter; a single quote reads the same to a person.
        if (c == '\r' || c == '\n')
            c = ' ';
        else if (c == '"')
            c = '\'';
    }
    return text;
}

void WriteAttachmentPart(IdWriteTarget& target, TIdAttachment& attachment) {
    if (attachment.ContentTransfer().empty())
        attachment.SetContentTransfer("base64");
    if (attachment.ContentDisposition().empty())
        attachment.SetContentDisposition("attachment");
    std::unique_ptr<TIdCoder> coder = FindCoder(attachment.ContentType(), attachment.ContentTransfer());
    coder->SetLineMode(true);
    const std::string& path = attachment.FileName();
    const std::string name = AttachmentHeaderName(path);
    if (attachment.ContentTransfer() == "base64" && attachment.ContentType().empty())
        attachment.SetContentType(MediaTypeForFileName(name));

    // Others may go on reading and writing the file meanwhile. What is sent
    // must be the file as a whole, and for a run the same file for every
    // recipient: a size other than the one the run saw first stops the
    // message before the part, one that moves while the file is read stops
    // it before the part ends, and the SMTP client then never ends the text
    // with ".".
    const std::optional<std::uint64_t>& expected = attachment.ExpectedSize();
    // Without O_NONBLOCK a pipe nobody writes to would hold the open (and the
    // server) forever; it has no effect on regular files.
    platform::File source = platform::File::open(path, O_RDONLY | O_NONBLOCK);
    if (!source.isOpen())
        throw platform::fileFailure(expected ? "Die Anlage " + path +
                                                   " ist während des Versands verschwunden oder nicht mehr "
                                                   "lesbar; die begonnene Mail wird nicht abgeschlossen."
                                             : "Datei " + path + " kann nicht geöffnet werden",
                                    source.openError());
    struct stat info {};
    if (::fstat(source.fd(), &info) != 0 || !S_ISREG(info.st_mode))
        // A pipe or a device has no whole to send (/dev/zero never ends).
        throw FileError("Die Anlage " + path +
                        " ist keine gewöhnliche Datei (etwa ein Ordner, eine Pipe oder ein Gerät); die "
                        "begonnene Mail wird nicht abgeschlossen.");
    const std::uint64_t size = openFileSize(source);
    // Files under /proc and on some network file systems report 0 and still
    // have content: for them what reading gives is the size.
    const bool sizeReported = size != 0;
    if (expected && sizeReported && size != *expected)
        throw changedAttachment(path, *expected, size);

    // Written directly, never folded: the parameters stand on lines of their
    // own already.
    target.WriteLine("Content-Type: " + attachment.ContentType() + ";");
    target.WriteLine("        name=\"" + plainParameterValue(name) + "\"");
    target.WriteLine("Content-Transfer-Encoding: " + attachment.ContentTransfer());
    target.WriteLine("Content-Disposition: " + attachment.ContentDisposition() + ";");
    target.WriteLines(rfc2231FileNameLines(name));
    target.WriteLine("        filename=\"" + plainParameterValue(name) + "\"");
    target.WriteLines(attachment.ExtraHeaders.SafeLines());
    target.WriteLine("");
    const std::uint64_t read = encodeFileInto(source, path, *coder, target);
    const std::uint64_t after = openFileSize(source);
    if (!sizeReported) {
        if (expected && read != *expected)
            throw changedAttachment(path, *expected, read);
    } else if (read != size || after != size) {
        throw changedAttachment(path, size, read != size ? read : after);
    }
    target.WriteLine("");
}

void WriteTextPart(IdWriteTarget& target, TIdText& text) {
    if (text.ContentType().empty())
        text.SetContentType("text/plain");
    if (text.ContentTransfer().empty())
        text.SetContentTransfer("quoted-printable");
    const std::vector<std::string> lines = splitBodyLines(text.Body);
    TextEncoding encoding = ChooseTextEncoding(lines, platform::localeLanguage());
    // The part's own transfer encoding stands; only quoted-printable makes
    // 8-bit text and long lines safe, and it is the default. "7bit" and
    // "8bit" cannot carry a NUL or a line over 998 octets: such text goes
    // quoted-printable and says so.
    std::string transfer = text.ContentTransfer();
    std::string lower = platform::asciiLowered(transfer);
    if ((lower == "7bit" || lower == "8bit") && !FitsUnencoded(lines, encoding.charset))
        transfer = lower = "quoted-printable";
    const bool known = lower == "quoted-printable" || lower == "7bit" || lower == "8bit";

    target.WriteLine("Content-Type: " + withCharset(text.ContentType(), encoding.charset));
    target.WriteLine("Content-Transfer-Encoding: " + transfer);
    target.WriteLines(text.ExtraHeaders.SafeLines());
    target.WriteLine("");
    if (known) {
        encoding.quotedPrintable = lower == "quoted-printable";
        writeWireText(target, encodedWireText(lines, encoding));
    } else {
        // Another registered coder (base64, x-uu) encodes the wire bytes.
        std::unique_ptr<TIdCoder> coder = FindCoder(text.ContentType(), transfer);
        for (const std::string& line : lines) {
            coder->Feed(ToWireBytes(line, encoding.charset));
            coder->Feed("\r\n");
            forEachLine(coder->Finish(),
                        [&](std::string_view wire) { target.WriteLine(withDoubledDot(wire)); });
        }
    }
    target.WriteLine("");
}

namespace {

void writeHeaderBlock(IdWriteTarget& target, const TIdMessage& message, const MessageLayout& layout,
                      const platform::Clock& clock) {
    const TIdHeaderList headers =
        message.BuildHeaderLines(topLevelDeclaration(message, layout), clock, layout.language);
    // One write for the block, as for the body's text.
    std::string block;
    for (const std::string& line : headers.Lines()) {
        block += line;
        block += "\r\n";
    }
    target.WriteText(block);
}

void writeBodySection(IdWriteTarget& target, TIdMessage& message, const MessageLayout& layout,
                      IdWriterObserver* observer) {
    const PartCounts& counts = layout.counts;
    if (observer)
        observer->WorkBegin();
    if (counts.attachments >= 1) {
        writeMixed(target, message, layout, observer);
    } else if (counts.texts >= 1) {
        target.WriteLine(kPreamble);
        target.WriteLine("");
        writeTextParts(target, message, layout.boundaries.mixed, observer);
    } else if (layout.htmlMailing) {
        target.WriteLine(kPreamble);
        target.WriteLine("");
        writeHtmlAlternative(target, message, layout, layout.boundaries.mixed, observer);
    } else {
        status(observer, kTextStatus);
        // The same choice as the header block's declaration made.
        writeWireText(target, bodyWireText(layout));
    }
    if (observer)
        observer->WorkEnd();
}

}  // namespace

PartCounts WriteHeaderBlock(IdWriteTarget& target, TIdMessage& message, const platform::Clock& clock) {
    const MessageLayout layout = messageLayout(message);
    writeHeaderBlock(target, message, layout, clock);
    return layout.counts;
}

void WriteBodySection(IdWriteTarget& target, TIdMessage& message, const PartCounts& counts,
                      IdWriterObserver* observer) {
    MessageLayout layout = layoutOf(message);
    layout.counts = counts;
    layout.boundaries = chooseBoundaries(message, layout);
    writeBodySection(target, message, layout, observer);
}

void WriteMessage(IdWriteTarget& target, TIdMessage& message, const platform::Clock& clock,
                  IdWriterObserver* observer, WireLineCache* cache) {
    // Worked out once for both: a list send writes many messages.
    const MessageLayout layout = messageLayout(message, cache);
    writeHeaderBlock(target, message, layout, clock);
    if (layout.counts.texts == 1)
        throw EIdTextInvalidCount("Ungültige Anzahl für Text. TIdText muß größer als 1 sein");
    target.WriteLine("");
    writeBodySection(target, message, layout, observer);
}

}  // namespace sendrix::mail
