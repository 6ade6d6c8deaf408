#pragma once
// One outgoing Internet message: header fields, body lines and MIME parts.
// Text fields hold program text (UTF-8); the writer chooses each text's wire
// charset (wire_charset.h). A byte that is no valid UTF-8 is taken as the
// Windows-1252 character it would be, so callers that fill in Windows-1252
// bytes lose nothing either.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/id_email_address.h"
#include "mail/id_header_list.h"
#include "platform/clock.h"
#include "platform/system_info.h"

namespace sendrix::mail {

enum TIdMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };

enum class TIdMessagePartKind { Attachment, Text };

// Base of the two part kinds. ContentType and ContentTransfer live in the
// part's own header list as "Content-Type" and "Content-Transfer-Encoding".
class TIdMessagePart {
public:
    // A plain part has no content: always throws EIdCanNotCreateMessagePart.
    TIdMessagePart();
    virtual ~TIdMessagePart() = default;
    TIdMessagePart(const TIdMessagePart&) = delete;
    TIdMessagePart& operator=(const TIdMessagePart&) = delete;

    TIdMessagePartKind Kind() const { return m_kind; }

    std::string ContentType() const { return Headers.GetHeaderValue("Content-Type"); }
    // An empty value removes the line.
    void SetContentType(std::string_view value) { Headers.SetHeaderValue("Content-Type", value); }
    std::string ContentTransfer() const { return Headers.GetHeaderValue("Content-Transfer-Encoding"); }
    void SetContentTransfer(std::string_view value) {
        Headers.SetHeaderValue("Content-Transfer-Encoding", value);
    }

    TIdHeaderList Headers;
    // Written after the part's generated header lines; a non-empty
    // "Content-ID" here makes an attachment a related one.
    TIdHeaderList ExtraHeaders;

protected:
    explicit TIdMessagePart(TIdMessagePartKind kind) : m_kind(kind) {}

private:
    TIdMessagePartKind m_kind;
};

// A file attachment; the file is read anew every time the message is written.
class TIdAttachment : public TIdMessagePart {
public:
    explicit TIdAttachment(std::string fileName)
        : TIdMessagePart(TIdMessagePartKind::Attachment), m_fileName(std::move(fileName)) {}

    // Full path of the file on disk.
    const std::string& FileName() const { return m_fileName; }
    void SetFileName(std::string fileName) { m_fileName = std::move(fileName); }

    std::string ContentDisposition() const { return Headers.GetHeaderValue("Content-Disposition"); }
    void SetContentDisposition(std::string_view value) {
        Headers.SetHeaderValue("Content-Disposition", value);
    }

    bool IsRelated() const { return !ExtraHeaders.GetHeaderValue("Content-ID").empty(); }

    // The size the file must have when the message is written (the size a
    // run first saw); unset, any size. The writer refuses a file of another
    // size, so no recipient of a run gets a changed or half-written file.
    const std::optional<std::uint64_t>& ExpectedSize() const { return m_expectedSize; }
    void SetExpectedSize(std::optional<std::uint64_t> size) { m_expectedSize = size; }

private:
    std::string m_fileName;
    std::optional<std::uint64_t> m_expectedSize;
};

class TIdText : public TIdMessagePart {
public:
    TIdText() : TIdMessagePart(TIdMessagePartKind::Text) {}

    std::vector<std::string> Body;
};

// The message's parts in the order they were added; owns them.
class TIdMessageParts {
public:
    int Count() const { return static_cast<int>(m_parts.size()); }
    TIdMessagePart& Items(int index) { return *m_parts.at(index); }
    const TIdMessagePart& Items(int index) const { return *m_parts.at(index); }

    TIdAttachment& AddAttachment(std::string fileName);
    TIdText& AddText();
    // Removes and frees the part at `index`.
    void Delete(int index);
    void Clear() { m_parts.clear(); }

private:
    std::vector<std::unique_ptr<TIdMessagePart>> m_parts;
};

// An image an HTML body shows by "cid:" (RFC 2392).
struct TIdInlineImage {
    std::string fileName;   // full path of the file on disk
    std::string contentId;  // without the angle brackets
};

// What the writer declares for the whole message.
struct TopLevelDeclaration {
    std::string contentType;
    // "MIME-Version: 1.0": a message with parts, or a declared body.
    bool mimeVersion = false;
    // Empty: the message's own ContentTransferEncoding field.
    std::string transferEncoding;
};

class TIdMessage {
public:
    TIdMessage() { Clear(); }
    TIdMessage(const TIdMessage&) = delete;
    TIdMessage& operator=(const TIdMessage&) = delete;

    // Empties every list and text, Priority mpNormal, Date not set.
    void Clear();

    // True exactly when no Date is set; the "Date" header then carries the
    // moment of writing.
    bool UseNowForDate() const { return !Date.has_value(); }
    // true clears Date; false changes nothing.
    void SetUseNowForDate(bool value) {
        if (value)
            Date.reset();
    }

    // A new list with the header lines in their fixed order, folded; text
    // fields in their own charsets (wire_charset.h), a "Message-ID" after
    // "Date" (MsgId, or a new one). `declaration` is what the writer chose
    // for the top level. Throws EIdFailedToRetreiveTimeZoneInfo when the
    // clock reports no valid offset.
    TIdHeaderList BuildHeaderLines(const TopLevelDeclaration& declaration,
                                   const platform::Clock& clock) const;
    // The same in `language` (the locale's, which the writer has looked up
    // for the body already).
    TIdHeaderList BuildHeaderLines(const TopLevelDeclaration& declaration, const platform::Clock& clock,
                                   const platform::LocaleLanguage& language) const;

    TIdEMailAddressItem From;
    TIdEMailAddressList Recipients;  // "To"
    TIdEMailAddressList CCList;      // "Cc"
    TIdEMailAddressList BccList;     // envelope only, never in the text
    TIdEMailAddressList ReplyTo;
    std::string Subject;
    std::string Organization;
    std::string References;
    std::vector<std::string> NewsGroups;
    std::string ContentType;
    std::string CharSet;
    std::string ContentTransferEncoding;
    TIdEMailAddressItem Sender;
    TIdEMailAddressItem ReceiptRecipient;  // "Disposition-Notification-To"
    // "<id@domain>" as written; empty: a new one (NewMessageId) for every
    // writing, so a message object reused for many recipients never
    // repeats one. An "Message-ID" among ExtraHeaders wins over both.
    std::string MsgId;
    // Local date and time of the "Date" header; unset means "now".
    std::optional<platform::LocalTime> Date;
    TIdMessagePriority Priority = mpNormal;
    std::vector<std::string> Body;
    TIdHeaderList ExtraHeaders;
    TIdMessageParts MessageParts;
    // The images of an HTML body of its own: the HTML goes out with them in
    // a multipart/related (RFC 2387) inside the alternative, after the
    // plain-text rendering. Ignored for any other body.
    std::vector<TIdInlineImage> InlineImages;
    // Filled only when a message is read; never written.
    TIdHeaderList Headers;
    bool NoDecode = false;
};

// "Mon, 7 Dec 2026 13:58:43 +0100": `time` with the zone `utcOffsetMinutes`.
// The weekday is computed from the date.
std::string FormatMessageDate(const platform::LocalTime& time, int utcOffsetMinutes);

// The clock's current local minus UTC offset in minutes. Throws
// EIdFailedToRetreiveTimeZoneInfo when it lies outside plus or minus 24 hours.
int LocalUtcOffset(const platform::Clock& clock);

}  // namespace sendrix::mail
