#include "mail/imap_client.h"

#include <algorithm>
#include <cstring>

#include "mail/imap_connection.h"
#include "platform/ascii.h"
#include "platform/text_codec.h"
#include "platform/visible_text.h"

namespace sendrix::mail {

namespace {

constexpr const char* kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

// UTF-8 into code points; false for bytes that are no UTF-8.
bool codePointsOf(const std::string& text, std::vector<char32_t>& out) {
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t length = platform::utf8SequenceAt(text, i, cp);
        if (length == 0)
            return false;
        out.push_back(cp);
        i += length;
    }
    return true;
}

// The base64 run of modified UTF-7: UTF-16 big endian, "," for "/", no padding.
std::string shiftedRun(const std::vector<char32_t>& run) {
    std::string bytes;
    const auto unit = [&bytes](char32_t u) {
        bytes += char(u >> 8);
        bytes += char(u & 0xFF);
    };
    for (char32_t cp : run) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    std::string out = "&";
    unsigned bits = 0;
    int count = 0;
    for (unsigned char b : bytes) {
        bits = (bits << 8) | b;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += kBase64[(bits >> count) & 0x3F];
        }
    }
    if (count > 0)
        out += kBase64[(bits << (6 - count)) & 0x3F];
    return out + "-";
}

// An IMAP quoted string (RFC 3501 4.3) of `text`.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Reads an atom or quoted string at `pos` of a response line.
std::string readString(const std::string& line, size_t& pos) {
    std::string out;
    if (pos < line.size() && line[pos] == '"') {
        for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
            if (line[pos] == '\\' && pos + 1 < line.size())
                ++pos;
            out += line[pos];
        }
        ++pos;
        return out;
    }
    while (pos < line.size() && line[pos] != ' ')
        out += line[pos++];
    return out;
}

// "* LIST (\HasNoChildren \Sent) "/" "Sent"" into a folder (the name may
// also come as a literal); false for another response.
bool parseListLine(const ImapResponse& response, ImapFolder& folder) {
    const std::string& line = response.text;
    if (line.rfind("* LIST (", 0) != 0)
        return false;
    const size_t close = line.find(')', 8);
    if (close == std::string::npos)
        return false;
    const std::string flags = line.substr(8, close - 8);
    size_t pos = close + 2;
    readString(line, pos);  // the hierarchy delimiter (or NIL)
    ++pos;
    if (pos >= line.size())
        return false;
    if (line[pos] == '{') {
        if (response.literals.empty())
            return false;
        const auto [offset, length] = response.literals.front();
        folder.name = decodeImapFolderName(line.substr(offset, length));
    } else {
        folder.name = decodeImapFolderName(readString(line, pos));
    }
    folder.flags.clear();
    size_t start = 0;
    while (start < flags.size()) {
        size_t end = flags.find(' ', start);
        if (end == std::string::npos)
            end = flags.size();
        if (end > start)
            folder.flags.push_back(flags.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

bool sameFolderName(const std::string& a, const std::string& b) {
    return platform::equalsNoCase(a, b);
}

// The first of `folders` flagged `flag` ("\Sent", ...), "" if none.
std::string folderFlagged(const std::vector<ImapFolder>& folders, const std::string& flag) {
    for (const ImapFolder& folder : folders)
        for (const std::string& each : folder.flags)
            if (sameFolderName(each, flag))
                return folder.name;
    return {};
}

}  // namespace

ImapClient::ImapClient(ImapAccount account) : m_account(std::move(account)) {}

ImapClient::~ImapClient() = default;

std::string ImapClient::Where() const {
    return m_account.host + ":" + std::to_string(m_account.port);
}

ImapConnection& ImapClient::connection() {
    if (m_connection && !m_connection->Usable())
        m_connection.reset();
    if (!m_connection) {
        auto fresh = std::make_unique<ImapConnection>(m_account, Where());
        fresh->Open();
        m_connection = std::move(fresh);
        m_selected.clear();
    }
    return *m_connection;
}

std::vector<ImapResponse> ImapClient::command(const std::string& what, const std::string& line) {
    return connection().Command(what, {{line}});
}

std::string ImapClient::mailbox(const std::string& folder) const {
    const std::string wire = encodeImapFolderName(folder);
    // Modified UTF-7 leaves only printable ASCII; anything else (bytes that
    // are no UTF-8) could end the command line.
    for (unsigned char c : wire)
        if (c < 0x20 || c > 0x7E)
            throw EIdImapError("Der Ordnername \"" + platform::visibleText(folder) +
                                   "\" ist kein gültiger IMAP-Ordnername (Steuerzeichen oder kein UTF-8).",
                               ImapFailure::Setup);
    return quoted(wire);
}

void ImapClient::select(const std::string& folder) {
    if (m_connection && m_connection->Usable() && m_selected == folder)
        return;
    const std::string line = "SELECT " + mailbox(folder);
    // A refused SELECT leaves no folder selected.
    m_selected.clear();
    command("SELECT", line);
    m_selected = folder;
}

void ImapClient::Connect() {
    connection();
}

void ImapClient::Disconnect() noexcept {
    m_connection.reset();
}

std::vector<ImapFolder> ImapClient::ListFolders() {
    // RFC 6154 2: servers without SPECIAL-USE in CAPABILITY may still list
    // the flags in a plain LIST; "RETURN (SPECIAL-USE)" is RFC 5258 syntax,
    // which servers without LIST-EXTENDED refuse, so the plain form is used.
    std::vector<ImapFolder> folders;
    ImapFolder folder;
    for (const ImapResponse& response : command("LIST", "LIST \"\" \"*\""))
        if (parseListLine(response, folder))
            folders.push_back(folder);
    return folders;
}

std::string ImapClient::FindSpecialUse(const std::string& specialUse) {
    return folderFlagged(ListFolders(), specialUse);
}

std::string ImapClient::FindOrCreateSentFolder(bool* created) {
    if (created != nullptr)
        *created = false;
    const std::vector<ImapFolder> folders = ListFolders();
    if (std::string sent = folderFlagged(folders, "\\Sent"); !sent.empty())
        return sent;
    static const char* const kNames[] = {"Sent", "Gesendet", "Gesendete Objekte", "Gesendete Elemente"};
    for (const char* name : kNames)
        for (const ImapFolder& folder : folders)
            for (const char* prefix : {"", "INBOX.", "INBOX/"})
                if (sameFolderName(folder.name, std::string(prefix) + name))
                    return folder.name;
    // The names above were looked for in this very list: no second LIST.
    create("Sent");
    if (created != nullptr)
        *created = true;
    return "Sent";
}

void ImapClient::CreateFolder(const std::string& folder) {
    for (const ImapFolder& existing : ListFolders())
        if (existing.name == folder)
            return;
    create(folder);
}

void ImapClient::create(const std::string& folder) {
    command("CREATE", "CREATE " + mailbox(folder));
}

void ImapClient::Append(const std::string& folder, const std::string& message) {
    AppendAll(folder, {message});
}

bool ImapClient::AppendsMany() {
    return connection().Offers("MULTIAPPEND");
}

void ImapClient::AppendAll(const std::string& folder, const std::vector<std::string_view>& messages) {
    if (messages.empty())
        return;
    const std::string start = "APPEND " + mailbox(folder);
    std::vector<ImapPart> parts{{start}};
    for (std::string_view message : messages) {
        parts.push_back({" (\\Seen) "});
        parts.push_back({message, true});
    }
    connection().Command("APPEND", parts);
}

std::vector<std::uint32_t> ImapClient::SearchSince(const std::string& folder, const ImapDate& since) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int month = std::clamp(since.month, 1, 12);
    select(folder);
    std::vector<std::uint32_t> uids;
    for (const ImapResponse& response : command("SEARCH", "UID SEARCH SINCE " + std::to_string(since.day) + "-" +
                                                              kMonths[month - 1] + "-" + std::to_string(since.year))) {
        const std::string& line = response.text;
        if (line.rfind("* SEARCH", 0) != 0)
            continue;
        size_t pos = 8;
        while (pos < line.size()) {
            while (pos < line.size() && line[pos] == ' ')
                ++pos;
            std::uint64_t value = 0;
            size_t digits = 0;
            while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9' && digits < 10) {
                value = value * 10 + std::uint64_t(line[pos++] - '0');
                ++digits;
            }
            if (digits == 0 || value == 0 || value > 0xFFFFFFFFu)
                break;
            uids.push_back(std::uint32_t(value));
        }
    }
    std::sort(uids.begin(), uids.end());
    return uids;
}

std::string ImapClient::FetchMessage(const std::string& folder, std::uint32_t uid) {
    select(folder);
    // BODY.PEEK: reading a report must not mark the user's mail as read.
    for (const ImapResponse& response : command("FETCH", "UID FETCH " + std::to_string(uid) + " BODY.PEEK[]")) {
        const std::size_t body = response.text.find(" FETCH (") == std::string::npos
                                     ? std::string::npos
                                     : response.text.find("BODY[] {");
        for (const auto& [offset, length] : response.literals)
            if (body != std::string::npos && offset > body)
                return response.text.substr(offset, length);
    }
    throw EIdImapError("Der IMAP-Server " + Where() + " liefert die Nachricht " + std::to_string(uid) + " nicht (FETCH).",
                       ImapFailure::Refused);
}

namespace {

std::string uidSet(const std::vector<std::uint32_t>& uids) {
    std::string set;
    for (std::uint32_t uid : uids)
        set += (set.empty() ? "" : ",") + std::to_string(uid);
    return set;
}

}  // namespace

void ImapClient::CopyMessages(const std::string& folder, const std::vector<std::uint32_t>& uids,
                              const std::string& target) {
    if (uids.empty())
        return;
    CreateFolder(target);
    select(folder);
    command("COPY", "UID COPY " + uidSet(uids) + " " + mailbox(target));
}

void ImapClient::MoveMessages(const std::string& folder, const std::vector<std::uint32_t>& uids,
                              const std::string& target) {
    if (uids.empty())
        return;
    CreateFolder(target);
    select(folder);
    const std::string to = uidSet(uids) + " " + mailbox(target);
    if (connection().Offers("MOVE")) {
        command("MOVE", "UID MOVE " + to);
        return;
    }
    // RFC 6851 is an extension: without it, copy, mark deleted, expunge.
    command("COPY", "UID COPY " + to);
    command("STORE", "UID STORE " + uidSet(uids) + " +FLAGS.SILENT (\\Deleted)");
    command("EXPUNGE", "EXPUNGE");
}

std::string encodeImapFolderName(const std::string& utf8) {
    std::vector<char32_t> points;
    if (!codePointsOf(utf8, points))
        return utf8;
    std::string out;
    std::vector<char32_t> run;
    for (char32_t cp : points) {
        if (cp >= 0x20 && cp <= 0x7E) {
            if (!run.empty()) {
                out += shiftedRun(run);
                run.clear();
            }
            out += cp == '&' ? std::string("&-") : std::string(1, char(cp));
        } else {
            run.push_back(cp);
        }
    }
    if (!run.empty())
        out += shiftedRun(run);
    return out;
}

std::string decodeImapFolderName(const std::string& wire) {
    std::string out;
    for (size_t i = 0; i < wire.size(); ++i) {
        if (wire[i] != '&') {
            out += wire[i];
            continue;
        }
        const size_t end = wire.find('-', i + 1);
        if (end == std::string::npos)
            return wire;
        if (end == i + 1) {
            out += '&';
            i = end;
            continue;
        }
        std::vector<unsigned> units;
        unsigned bits = 0;
        int count = 0;
        for (size_t k = i + 1; k < end; ++k) {
            const char* at = std::strchr(kBase64, wire[k]);
            if (at == nullptr || wire[k] == '\0')
                return wire;
            bits = (bits << 6) | unsigned(at - kBase64);
            count += 6;
            if (count >= 16) {
                count -= 16;
                units.push_back((bits >> count) & 0xFFFF);
            }
        }
        for (size_t k = 0; k < units.size(); ++k) {
            char32_t cp = units[k];
            if (cp >= 0xD800 && cp < 0xDC00 && k + 1 < units.size()) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++k] - 0xDC00);
            }
            platform::appendUtf8(out, cp);
        }
        i = end;
    }
    return out;
}

}  // namespace sendrix::mail
