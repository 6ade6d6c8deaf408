#include "mail/id_message_writer.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>

#include "mail/id_coder.h"
#include "mail/id_coder_3to4.h"
#include "mail/id_exception.h"
#include "mail/id_header_coder.h"
#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/temp_file.h"
#include "platform/text_codec.h"

namespace sendrix::mail {

namespace {

constexpr std::string_view kPreamble = "This is a multi-part message in MIME format";
constexpr std::string_view kTextStatus = "Text wird codiert";
constexpr std::string_view kAttachmentStatus = "Anlage wird codiert";

// One base64 line per 57 bytes (76 characters, RFC 2045 6.8). Reads, encoding
// and writes go in blocks of many chunks; the block is a multiple of 57, so
// the lines come out exactly as chunk by chunk.
constexpr size_t kChunkSize = 57;
constexpr size_t kBlockSize = kChunkSize * 8192;

// SMTP transparency (RFC 5321 4.5.2): a line that begins with "." gets one
// more, which the server removes again.
std::string withDoubledDot(std::string_view line)
{
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
void forEachLine(std::string_view text, Emit emit)
{
    size_t start = 0;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        emit(text.substr(start, i - start));
        i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < n)
        emit(text.substr(start));
}

// The wire lines of one body line: split where it holds a CR or LF, each
// piece dot-doubled. An empty body line stays one empty line.
void appendBodyLine(std::vector<std::string>& out, std::string_view line, bool toIso2022Jp)
{
    // Converted first, dot-doubled after: the conversion drops invalid
    // bytes, and a "." behind a dropped byte must still get its second one.
    auto add = [&](std::string_view piece) {
        out.push_back(withDoubledDot(toIso2022Jp ? ConvertToIso2022Jp(piece) : std::string(piece)));
    };
    if (line.empty()) {
        out.emplace_back();
        return;
    }
    // A trailing line end of a body line still stands for an empty line.
    const char last = line.back();
    forEachLine(line, add);
    if (last == '\r' || last == '\n')
        out.emplace_back();
}

std::vector<std::string> bodyWireLines(const std::vector<std::string>& body, bool toIso2022Jp)
{
    std::vector<std::string> lines;
    lines.reserve(body.size());
    for (const std::string& line : body)
        appendBodyLine(lines, line, toIso2022Jp);
    return lines;
}

void writeAll(platform::File& file, std::string_view bytes, const std::string& name)
{
    if (const int error = file.writeAll(bytes))
        throw platform::fileFailure("In " + name + " kann nicht geschrieben werden", error,
                                    platform::ReasonAt::AfterColon);
}

// Fills `buffer` from `file` up to its size or the end of the file; returns
// the number of bytes read.
size_t readBlock(platform::File& file, std::string& buffer, const std::string& name)
{
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
std::string wireSafe(std::string_view encoded)
{
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

// Encodes the whole file into the temporary file, as the coder gives it for
// each 57-byte chunk in line mode.
void encodeFileInto(platform::File& source, const std::string& sourceName, TIdCoder& coder,
                    platform::TemporaryFile& temporary)
{
    const bool safeAlphabet = dynamic_cast<TIdBase64Encoder*>(&coder) != nullptr;
    std::string block(kBlockSize, '\0');
    std::string encoded;
    encoded.reserve(kBlockSize / kChunkSize * 78);
    for (;;) {
        const size_t length = readBlock(source, block, sourceName);
        if (length == 0)
            break;
        encoded.clear();
        coder.EncodeChunks(std::string_view(block.data(), length), kChunkSize, encoded);
        if (safeAlphabet) {
            writeAll(temporary.file(), encoded, temporary.path());
        } else {
            const std::string safe = wireSafe(encoded);
            writeAll(temporary.file(), safe, temporary.path());
        }
        if (length < block.size())
            break;
    }
}

std::string topLevelContentType(const TIdMessage& message, const PartCounts& counts)
{
    std::string value;
    if (counts.related >= 1)
        value = "multipart/related; type=\"multipart/alternative\"; boundary=\"" + std::string(kRelatedBoundary) + "\"";
    else if (counts.attachments >= 1)
        value = "multipart/mixed; boundary=\"" + std::string(kMixedBoundary) + "\"";
    else if (counts.texts >= 1)
        value = "multipart/alternative; boundary=\"" + std::string(kMixedBoundary) + "\"";
    else
        value = message.ContentType;
    // The character set is appended even when empty, so "text/plain;" is
    // what the program's messages have always carried.
    if (!value.empty())
        value += ";" + message.CharSet;
    else
        value = message.CharSet;
    return value;
}

PartCounts countParts(const TIdMessage& message)
{
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

void status(IdWriterObserver* observer, std::string_view text)
{
    if (observer)
        observer->Status(text);
}

void writeTextParts(IdWriteTarget& target, TIdMessage& message, std::string_view boundary,
                    IdWriterObserver* observer)
{
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
std::string firstPartContentType(const TIdMessage& message)
{
    const std::string& type = message.ContentType;
    return platform::startsWithNoCase(type, "text/") ? type : "text/plain";
}

void writeMixed(IdWriteTarget& target, TIdMessage& message, const PartCounts& counts,
                IdWriterObserver* observer)
{
    const std::string_view boundary = counts.related >= 1 ? kRelatedBoundary : kMixedBoundary;
    const std::string boundaryLine = "--" + std::string(boundary);
    target.WriteLine(kPreamble);
    target.WriteLine("");
    target.WriteLine(boundaryLine);
    if (counts.texts == 0) {
        target.WriteLine("Content-Type: " + firstPartContentType(message));
        target.WriteLine("Content-Transfer-Encoding: 7bit");
        target.WriteLine("");
        target.WriteLines(bodyWireLines(message.Body, false));
    } else {
        target.WriteLine("Content-Type: multipart/alternative; ");
        target.WriteLine("        boundary=\"" + std::string(kAlternativeBoundary) + "\"");
        target.WriteLine("");
        writeTextParts(target, message, kAlternativeBoundary, observer);
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

std::string AttachmentHeaderName(std::string_view path)
{
    const size_t cut = path.find_last_of("/\\");
    const std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
    // Windows-1252 as every other text of the message; a name with
    // characters outside it stays UTF-8 rather than losing them.
    std::string bytes = platform::encodeFileText(name);
    for (char& c : bytes) {
        // A line break would end the header line, a double quote the
        // parameter; a single quote reads the same to a person.
        if (c == '\r' || c == '\n')
            c = ' ';
        else if (c == '"')
            c = '\'';
    }
    return bytes;
}

void WriteAttachmentPart(IdWriteTarget& target, TIdAttachment& attachment)
{
    if (attachment.ContentTransfer().empty())
        attachment.SetContentTransfer("base64");
    if (attachment.ContentDisposition().empty())
        attachment.SetContentDisposition("attachment");
    std::unique_ptr<TIdCoder> coder = FindCoder(attachment.ContentType(), attachment.ContentTransfer());
    coder->SetLineMode(true);
    if (attachment.ContentTransfer() == "base64" && attachment.ContentType().empty())
        attachment.SetContentType("application/octet-stream");

    // Others may go on reading and writing the file meanwhile; whatever is
    // read is sent.
    const std::string& path = attachment.FileName();
    platform::File source = platform::File::open(path, O_RDONLY);
    if (!source.isOpen())
        throw platform::fileFailure("Datei " + path + " kann nicht geöffnet werden", source.openError());
    // Deleted by its destructor on every path, also when the connection
    // fails half-way.
    platform::TemporaryFile temporary("Datei " + platform::temporaryFolder() + "/sendrix-XXXXXX" +
                                      " kann nicht erstellt werden");
    encodeFileInto(source, path, *coder, temporary);

    // Written directly, never folded: the parameters stand on lines of their
    // own already.
    const std::string name = AttachmentHeaderName(path);
    target.WriteLine("Content-Type: " + attachment.ContentType() + ";");
    target.WriteLine("        name=\"" + name + "\"");
    target.WriteLine("Content-Transfer-Encoding: " + attachment.ContentTransfer());
    target.WriteLine("Content-Disposition: " + attachment.ContentDisposition() + ";");
    target.WriteLine("        filename=\"" + name + "\"");
    target.WriteLines(attachment.ExtraHeaders.SafeLines());
    target.WriteLine("");
    target.WriteFromStream(temporary.fd());
    target.WriteLine("");
}

void WriteTextPart(IdWriteTarget& target, TIdText& text)
{
    if (text.ContentType().empty())
        text.SetContentType("text/plain");
    if (text.ContentTransfer().empty())
        text.SetContentTransfer("quoted-printable");
    std::unique_ptr<TIdCoder> coder = FindCoder(text.ContentType(), text.ContentTransfer());
    const bool toIso2022Jp = ChooseHeaderCharset().convertToIso2022Jp;

    target.WriteLine("Content-Type: " + text.ContentType());
    target.WriteLine("Content-Transfer-Encoding: " + text.ContentTransfer());
    target.WriteLines(text.ExtraHeaders.SafeLines());
    target.WriteLine("");
    for (const std::string& line : text.Body) {
        coder->Feed(line);
        coder->Feed("\r\n");
        std::string encoded = coder->Finish();
        if (toIso2022Jp)
            encoded = ConvertToIso2022Jp(encoded);
        // Dots are doubled on the encoded lines rather than the body line:
        // a soft line break or a pass-through coder can put a "." at the
        // start of any wire line, and every such line needs its second dot.
        forEachLine(encoded, [&](std::string_view wire) { target.WriteLine(withDoubledDot(wire)); });
    }
    target.WriteLine("");
}

PartCounts WriteHeaderBlock(IdWriteTarget& target, TIdMessage& message, const platform::Clock& clock)
{
    const PartCounts counts = countParts(message);
    const TIdHeaderList headers = message.BuildHeaderLines(topLevelContentType(message, counts), clock);
    target.WriteLines(headers.Lines());
    return counts;
}

void WriteBodySection(IdWriteTarget& target, TIdMessage& message, const PartCounts& counts,
                      IdWriterObserver* observer)
{
    if (observer)
        observer->WorkBegin();
    if (counts.attachments >= 1) {
        writeMixed(target, message, counts, observer);
    } else if (counts.texts >= 1) {
        target.WriteLine(kPreamble);
        target.WriteLine("");
        writeTextParts(target, message, kMixedBoundary, observer);
    } else {
        status(observer, kTextStatus);
        // The single-part body is the one place where Japanese locales send
        // ISO-2022-JP text.
        target.WriteLines(bodyWireLines(message.Body, ChooseHeaderCharset().convertToIso2022Jp));
    }
    if (observer)
        observer->WorkEnd();
}

void WriteMessage(IdWriteTarget& target, TIdMessage& message, const platform::Clock& clock,
                  IdWriterObserver* observer)
{
    const PartCounts counts = WriteHeaderBlock(target, message, clock);
    if (counts.texts == 1)
        throw EIdTextInvalidCount("Ungültige Anzahl für Text. TIdText muß größer als 1 sein");
    target.WriteLine("");
    WriteBodySection(target, message, counts, observer);
}

}  // namespace sendrix::mail
