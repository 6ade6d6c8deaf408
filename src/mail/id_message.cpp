#include "mail/id_message.h"

#include <cstdlib>

#include "mail/id_exception.h"
#include "mail/id_header_coder.h"
#include "mail/id_message_id.h"
#include "mail/wire_charset.h"
#include "platform/version.h"

namespace sendrix::mail {

TIdMessagePart::TIdMessagePart() : m_kind(TIdMessagePartKind::Attachment) {
    throw EIdCanNotCreateMessagePart(
        "TIdMessagePart kann nicht erzeugt werden. Verwenden Sie abgeleitete Klassen. ");
}

TIdAttachment& TIdMessageParts::AddAttachment(std::string fileName) {
    auto part = std::make_unique<TIdAttachment>(std::move(fileName));
    TIdAttachment& result = *part;
    m_parts.push_back(std::move(part));
    return result;
}

TIdText& TIdMessageParts::AddText() {
    auto part = std::make_unique<TIdText>();
    TIdText& result = *part;
    m_parts.push_back(std::move(part));
    return result;
}

void TIdMessageParts::Delete(int index) {
    m_parts.at(index);  // range check
    m_parts.erase(m_parts.begin() + index);
}

void TIdMessage::Clear() {
    From.Clear();
    Recipients.Clear();
    CCList.Clear();
    BccList.Clear();
    ReplyTo.Clear();
    Subject.clear();
    Organization.clear();
    References.clear();
    NewsGroups.clear();
    ContentType.clear();
    CharSet.clear();
    ContentTransferEncoding.clear();
    Sender.Clear();
    ReceiptRecipient.Clear();
    MsgId.clear();
    Date.reset();
    Priority = mpNormal;
    Body.clear();
    ExtraHeaders.Clear();
    MessageParts.Clear();
    InlineImages.clear();
    Headers.Clear();
    NoDecode = false;
}

namespace {

const std::string kLibraryName = std::string("Sendrix ") + platform::kProgramVersion;

TIdEMailAddressItem singleLine(const TIdEMailAddressItem& item) {
    TIdEMailAddressItem out;
    out.SetAddress(SingleLine(item.Address()));
    out.SetName(SingleLine(item.Name()));
    return out;
}

TIdEMailAddressList singleLine(const TIdEMailAddressList& list) {
    TIdEMailAddressList out;
    for (const auto& item : list)
        out.Add(singleLine(item));
    return out;
}

std::string newsGroupsText(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = SingleLine(names[i]);
        if (i > 0)
            text += ',';
        bool quote = false;
        for (char c : name) {
            const auto b = static_cast<unsigned char>(c);
            if (b <= 32 || b == 127 || c == ',' || c == '"')
                quote = true;
        }
        if (!quote) {
            text += name;
            continue;
        }
        text += '"';
        for (char c : name) {
            if (c == '"')
                text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

// Sakamoto's rule; 0 = Sunday.
int dayOfWeek(int year, int month, int day) {
    static const int offsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        year -= 1;
    const int w = (year + year / 4 - year / 100 + year / 400 + offsets[(month - 1) % 12] + day) % 7;
    return w < 0 ? w + 7 : w;
}

std::string twoDigits(int n) {
    return std::string(1, static_cast<char>('0' + n / 10 % 10)) + static_cast<char>('0' + n % 10);
}

}  // namespace

std::string FormatMessageDate(const platform::LocalTime& time, int utcOffsetMinutes) {
    // RFC 5322 3.3: English names whatever the user's language.
    static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int month = time.month >= 1 && time.month <= 12 ? time.month : 1;
    std::string text = kDays[dayOfWeek(time.year, month, time.day)];
    text += ", ";
    text += std::to_string(time.day);
    text += ' ';
    text += kMonths[month - 1];
    text += ' ';
    text += std::to_string(time.year);
    text += ' ';
    text += twoDigits(time.hour) + ":" + twoDigits(time.minute) + ":" + twoDigits(time.second);
    // Zero is "+0000", never "GMT" or "-0000" (RFC 5322 3.3).
    text += utcOffsetMinutes < 0 ? " -" : " +";
    const int absolute = std::abs(utcOffsetMinutes);
    text += twoDigits(absolute / 60) + twoDigits(absolute % 60);
    return text;
}

int LocalUtcOffset(const platform::Clock& clock) {
    const int offset = clock.now().utcOffsetMinutes;
    // Real zones lie within -12:00 and +14:00; anything beyond a day means
    // the system gave no usable answer.
    if (offset <= -24 * 60 || offset >= 24 * 60)
        throw EIdFailedToRetreiveTimeZoneInfo("Einlesen der Zeitzonen-Informationen ist fehlgeschlagen.");
    return offset;
}

TIdHeaderList TIdMessage::BuildHeaderLines(const TopLevelDeclaration& declaration,
                                           const platform::Clock& clock) const {
    return BuildHeaderLines(declaration, clock, platform::localeLanguage());
}

TIdHeaderList TIdMessage::BuildHeaderLines(const TopLevelDeclaration& declaration,
                                           const platform::Clock& clock,
                                           const platform::LocaleLanguage& language) const {
    const int offset = LocalUtcOffset(clock);
    const platform::LocalTime date = Date ? *Date : clock.now();

    // Every name below once: each line is appended without a look for an
    // earlier one.
    TIdHeaderList headers;
    headers.Reserve(17 + size_t(ExtraHeaders.Count()));  // a line for each name below
    headers.AddHeaderValue("From", EncodeDisplayAddress(singleLine(From), language));
    headers.AddHeaderValue("Subject", EncodeHeaderWords(SingleLine(Subject), "", language));
    headers.AddHeaderValue("To", EncodeAddressListText(singleLine(Recipients), language));
    headers.AddHeaderValue("Cc", EncodeAddressListText(singleLine(CCList), language));
    headers.AddHeaderValue("Newsgroups", newsGroupsText(NewsGroups));
    headers.AddHeaderValue("Content-Type", SingleLine(declaration.contentType));
    if (declaration.mimeVersion)
        headers.AddHeaderValue("MIME-Version", "1.0");
    headers.AddHeaderValue("Content-Transfer-Encoding",
                           SingleLine(declaration.transferEncoding.empty() ? ContentTransferEncoding
                                                                           : declaration.transferEncoding));
    headers.AddHeaderValue("Sender", singleLine(Sender).Text());
    headers.AddHeaderValue("Reply-To", EncodeAddressListText(singleLine(ReplyTo), language));
    headers.AddHeaderValue("Organization", EncodeHeaderWords(SingleLine(Organization), "", language));
    headers.AddHeaderValue("Disposition-Notification-To",
                           EncodeDisplayAddress(singleLine(ReceiptRecipient), language));
    headers.AddHeaderValue("References", SingleLine(References));
    headers.AddHeaderValue("Date", FormatMessageDate(date, offset));
    // Receivers refuse mail without one (Gmail: 550-5.7.1).
    if (ExtraHeaders.GetHeaderValue("Message-ID").empty())
        headers.AddHeaderValue("Message-ID",
                               MsgId.empty() ? NewMessageId(From.Address()) : SingleLine(MsgId));
    headers.AddHeaderValue("X-Priority", std::to_string(static_cast<int>(Priority) + 1));
    headers.AddHeaderValue("X-Library", kLibraryName);
    // Extra header lines are already folded.
    for (std::string& line : ExtraHeaders.SafeLines())
        headers.Add(std::move(line));
    return headers;
}

}  // namespace sendrix::mail
