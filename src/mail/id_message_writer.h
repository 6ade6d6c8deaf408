#pragma once
// The Internet message writer: turns a TIdMessage into the text between the
// server's 354 reply and the closing "." line.
#include <string>
#include <string_view>

#include "mail/id_message.h"
#include "mail/id_write_target.h"
#include "mail/wire_line_cache.h"
#include "platform/clock.h"

namespace sendrix::mail {

// Fixed MIME boundaries; the same in every message.
inline constexpr std::string_view kMixedBoundary = "=_NextPart_2rfkqmtzsadvnqw3nerasdf";
inline constexpr std::string_view kRelatedBoundary = "=_NextPart_2relrfksadvnqqmtzw3nerasdf";
inline constexpr std::string_view kAlternativeBoundary = "=_NextPart_2altrfkqmtzsadvnqw3nerasdf";
// The HTML and its inline images (TIdMessage::InlineImages).
inline constexpr std::string_view kInlineImagesBoundary = "=_NextPart_2imgrfkqmtzsadvnqw3nerasdf";

// Progress of the writer, for a status display; the default does nothing.
class IdWriterObserver {
public:
    virtual ~IdWriterObserver() = default;
    // "Text wird codiert" before a text, "Anlage wird codiert" before an attachment.
    virtual void Status(std::string_view text) { (void)text; }
    // Around the body section.
    virtual void WorkBegin() {}
    virtual void WorkEnd() {}
};

struct PartCounts {
    int attachments = 0;  // A
    int texts = 0;        // T
    int related = 0;      // R: attachments with a "Content-ID"
};

// Writes the whole message: header block, empty line, body section. Throws
// EIdTextInvalidCount after the header lines when there is exactly one text
// part; file and connection errors pass through. An attachment is read and
// encoded block by block straight onto the target: no temporary file, and
// memory does not grow with its size. A multipart boundary that the content
// holds is replaced by one it holds nowhere (the fixed one plus "_1", ...).
// The body's wire lines are taken from `cache` and kept there when one is
// given (the same bytes: wire_line_cache.h).
void WriteMessage(IdWriteTarget& target, TIdMessage& message, const platform::Clock& clock,
                  IdWriterObserver* observer = nullptr, WireLineCache* cache = nullptr);

// Writes the header lines (without the empty line after them).
PartCounts WriteHeaderBlock(IdWriteTarget& target, TIdMessage& message, const platform::Clock& clock);

// Writes the body section in the layout the counts select.
void WriteBodySection(IdWriteTarget& target, TIdMessage& message, const PartCounts& counts,
                      IdWriterObserver* observer = nullptr);

// One attachment from its header lines to the empty line after its data;
// fills in the default content type (from the file name's extension,
// media_types.h), transfer encoding and disposition. A file name outside
// ASCII goes out as RFC 2231 "filename*" in UTF-8 and, for older readers,
// as an encoded word in "name" and "filename". Throws FileError naming the
// file before the part's first line when it cannot be opened or its size is
// not its ExpectedSize, and before the part ends when a read fails or the
// file changes size while it is read.
void WriteAttachmentPart(IdWriteTarget& target, TIdAttachment& attachment);

// One text part, quoted-printable unless the part says otherwise, its
// charset chosen from its text (wire_charset.h).
void WriteTextPart(IdWriteTarget& target, TIdText& text);

// The file name without its folder (cut at the last "/" or "\"), as UTF-8
// (a byte that is no UTF-8 taken as Windows-1252), with CR and LF as blanks
// and double quotes as single quotes.
std::string AttachmentHeaderName(std::string_view path);

}  // namespace sendrix::mail
