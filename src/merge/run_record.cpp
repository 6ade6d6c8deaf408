#include "merge/run_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "merge/send_log.h"
#include "platform/ascii.h"
#include "platform/text_file.h"

namespace sendrix::merge {

namespace {

constexpr const char* kFormatTitle = "Sendrix-Versandlauf";
constexpr auto kSyncInterval = std::chrono::seconds(1);

struct KindName {
    RecordEvent::Kind kind;
    const char* name;
    std::size_t fields;  // after time and name
};

// The name of each event and the number of its fields.
constexpr KindName kKinds[] = {
    {RecordEvent::Kind::Start, "lauf", 6},          {RecordEvent::Kind::Continue, "fortsetzung", 1},
    {RecordEvent::Kind::FinalDot, "punkt", 3},      {RecordEvent::Kind::Delivered, "versendet", 4},
    {RecordEvent::Kind::Refused, "abgewiesen", 3},  {RecordEvent::Kind::Temporary, "vorlaeufig", 3},
    {RecordEvent::Kind::Uncertain, "unklar", 3},    {RecordEvent::Kind::Skipped, "uebersprungen", 3},
    {RecordEvent::Kind::NoAddress, "keine-adresse", 1}, {RecordEvent::Kind::End, "ende", 0},
    {RecordEvent::Kind::Stopped, "abbruch", 0},     {RecordEvent::Kind::Failed, "fehler", 1},
    {RecordEvent::Kind::Bounced, "unzustellbar", 5},
    {RecordEvent::Kind::NoCopy, "ohne-kopie", 3},
};

const KindName& kindName(RecordEvent::Kind kind) {
    for (const KindName& entry : kKinds)
        if (entry.kind == kind)
            return entry;
    return kKinds[0];
}

// FNV-1a, 64 bits: a stable name for a text, not a secret.
std::uint64_t fnv1a(std::string_view text, std::uint64_t hash = 14695981039346656037ull) {
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string hex16(std::uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        out[i] = digits[value & 15];
    return out;
}

// The absolute form of a path, links resolved when it exists, so "liste.csv"
// and "/home/a/liste.csv" name the same mailing.
std::string absolutePath(const std::string& path) {
    if (path.empty())
        return path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string out = real;
        std::free(real);
        return out;
    }
    if (path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

std::string timeText(const platform::LocalTime& t) {
    using platform::TwoDigits;
    return std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " + TwoDigits(t.hour) +
           ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

int numberField(std::string_view text, const char* what) {
    const auto parsed = platform::parseInteger(text);
    if (!parsed || parsed->hasSign || parsed->hexadecimal || parsed->magnitude > INT_MAX)
        throw RunRecordError(std::string(what) + " \"" + std::string(text) + "\" ist keine Zahl");
    return static_cast<int>(parsed->magnitude);
}

platform::LocalTime parseTime(std::string_view text) {
    // "YYYY-MM-DD hh:mm:ss"
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        throw RunRecordError("die Zeit \"" + std::string(text) + "\" ist ungültig");
    platform::LocalTime t;
    t.year = numberField(text.substr(0, 4), "das Jahr");
    t.month = numberField(text.substr(5, 2), "der Monat");
    t.day = numberField(text.substr(8, 2), "der Tag");
    t.hour = numberField(text.substr(11, 2), "die Stunde");
    t.minute = numberField(text.substr(14, 2), "die Minute");
    t.second = numberField(text.substr(17, 2), "die Sekunde");
    return t;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

std::string formatLine() {
    return std::string(kFormatTitle) + "\t" + std::to_string(kRunRecordFormat);
}

[[noreturn]] void raiseWriteError(const std::string& path, int error) {
    throw platform::fileFailure("Der Versandlauf " + path + " kann nicht geschrieben werden", error,
                                platform::ReasonAt::AfterColon);
}

}  // namespace

std::string mailingFingerprint(const Mailing& mailing, const std::string& listFile) {
    // Each part ends with a byte no text holds, so moving text from one
    // part to the next gives another value.
    std::uint64_t hash = fnv1a(absolutePath(listFile));
    hash = fnv1a(std::string_view("\0", 1), hash);
    hash = fnv1a(mailing.subject, hash);
    for (const std::string& line : mailing.body.body)
        hash = fnv1a(std::string_view("\n", 1), fnv1a(line, hash));
    hash = fnv1a(std::string_view("\0", 1), hash);
    for (const std::string& file : mailing.attachments)
        hash = fnv1a(std::string_view("\0", 1), fnv1a(absolutePath(file), hash));
    return hex16(hash);
}

std::string runRecordPath(const std::string& mailingFile, const std::string& listFile,
                          const std::string& programFolder) {
    if (!mailingFile.empty()) {
        const std::size_t slash = mailingFile.rfind('/');
        const std::size_t dot = mailingFile.rfind('.');
        const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
        return (hasExtension ? mailingFile.substr(0, dot) : mailingFile) + ".versandlauf";
    }
    std::string name = platform::fileNameOnly(listFile);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return programFolder + "Versandlaeufe/" + name + "-" + hex16(fnv1a(absolutePath(listFile))) +
           ".versandlauf";
}

std::string recordLine(const RecordEvent& event) {
    const KindName& kind = kindName(event.kind);
    std::string line = timeText(event.when);
    appendLogField(line, kind.name);
    switch (event.kind) {
        case RecordEvent::Kind::Start:
            appendLogField(line, event.run);
            appendLogField(line, event.fingerprint);
            appendLogField(line, std::to_string(event.toSend));
            appendLogField(line, event.resultFile);
            appendLogField(line, event.listFile);
            appendLogField(line, event.subject);
            break;
        case RecordEvent::Kind::Continue: appendLogField(line, event.run); break;
        case RecordEvent::Kind::FinalDot:
        case RecordEvent::Kind::Delivered:
            appendLogField(line, std::to_string(event.row));
            appendLogField(line, event.address);
            appendLogField(line, event.messageId);
            if (event.kind == RecordEvent::Kind::Delivered)
                appendLogField(line, event.text);
            break;
        case RecordEvent::Kind::Refused:
        case RecordEvent::Kind::Temporary:
        case RecordEvent::Kind::Uncertain:
        case RecordEvent::Kind::Skipped:
        case RecordEvent::Kind::NoCopy:
            appendLogField(line, std::to_string(event.row));
            appendLogField(line, event.address);
            appendLogField(line, event.text);
            break;
        case RecordEvent::Kind::NoAddress: appendLogField(line, std::to_string(event.row)); break;
        case RecordEvent::Kind::Failed: appendLogField(line, event.text); break;
        case RecordEvent::Kind::Bounced:
            appendLogField(line, event.run);
            appendLogField(line, std::to_string(event.row));
            appendLogField(line, event.address);
            appendLogField(line, event.messageId);
            appendLogField(line, event.text);
            break;
        case RecordEvent::Kind::End:
        case RecordEvent::Kind::Stopped: break;
    }
    return line;
}

RecordEvent parseRecordLine(std::string_view line) {
    const std::vector<std::string_view> fields = splitTabs(line);
    if (fields.size() < 2)
        throw RunRecordError("die Zeile ist kein Ereignis");
    RecordEvent event;
    event.when = parseTime(fields[0]);
    const KindName* kind = nullptr;
    for (const KindName& entry : kKinds)
        if (fields[1] == entry.name)
            kind = &entry;
    if (!kind)
        throw RunRecordError("das Ereignis \"" + std::string(fields[1]) + "\" ist unbekannt");
    if (fields.size() != kind->fields + 2)
        throw RunRecordError("das Ereignis \"" + std::string(fields[1]) + "\" hat " +
                             std::to_string(fields.size() - 2) + " statt " + std::to_string(kind->fields) +
                             " Felder");
    event.kind = kind->kind;
    const auto field = [&](std::size_t i) { return std::string(fields[i + 2]); };
    switch (event.kind) {
        case RecordEvent::Kind::Start:
            event.run = field(0);
            event.fingerprint = field(1);
            event.toSend = numberField(fields[4], "die Zahl der Empfänger");
            event.resultFile = field(3);
            event.listFile = field(4);
            event.subject = field(5);
            break;
        case RecordEvent::Kind::Continue: event.run = field(0); break;
        case RecordEvent::Kind::FinalDot:
        case RecordEvent::Kind::Delivered:
            event.row = numberField(fields[2], "die Zeile");
            event.address = field(1);
            event.messageId = field(2);
            if (event.kind == RecordEvent::Kind::Delivered)
                event.text = field(3);
            break;
        case RecordEvent::Kind::Refused:
        case RecordEvent::Kind::Temporary:
        case RecordEvent::Kind::Uncertain:
        case RecordEvent::Kind::Skipped:
        case RecordEvent::Kind::NoCopy:
            event.row = numberField(fields[2], "die Zeile");
            event.address = field(1);
            event.text = field(2);
            break;
        case RecordEvent::Kind::NoAddress: event.row = numberField(fields[2], "die Zeile"); break;
        case RecordEvent::Kind::Failed: event.text = field(0); break;
        case RecordEvent::Kind::Bounced:
            event.run = field(0);
            event.row = numberField(fields[3], "die Zeile");
            event.address = field(2);
            event.messageId = field(3);
            event.text = field(4);
            break;
        case RecordEvent::Kind::End:
        case RecordEvent::Kind::Stopped: break;
    }
    return event;
}

int RecordedRun::delivered() const {
    int count = 0;
    for (const auto& [row, result] : rows)
        count += result.state == RowResult::State::Delivered;
    return count;
}

bool RecordedRun::deliveredTo(int row, const std::string& address) const {
    const auto found = rows.find(row);
    // A bounced message was delivered all the same: a continuation leaves it out.
    return found != rows.end() &&
           (found->second.state == RowResult::State::Delivered || found->second.state == RowResult::State::Bounced) &&
           found->second.address == address;
}

bool RecordedRun::uncertain(int row, const std::string& address) const {
    const auto found = rows.find(row);
    return found != rows.end() && found->second.state == RowResult::State::Uncertain &&
           found->second.address == address;
}

std::vector<RowResult> RecordedRun::results(const std::vector<RowResult>& planned) const {
    std::map<int, RowResult> all = rows;
    for (const RowResult& result : planned)
        all.emplace(result.row, result);
    std::vector<RowResult> out;
    out.reserve(all.size());
    for (const auto& [row, result] : all)
        out.push_back(result);
    return out;
}

void applyEvent(RecordedRun& run, const RecordEvent& event) {
    using Kind = RecordEvent::Kind;
    using State = RowResult::State;
    switch (event.kind) {
        case Kind::Start:
            run = RecordedRun{};
            run.id = event.run;
            run.fingerprint = event.fingerprint;
            run.start = event.when;
            run.toSend = event.toSend;
            run.resultFile = event.resultFile;
            return;
        case Kind::Continue: run.finished = false; return;
        case Kind::End: run.finished = true; return;
        case Kind::Stopped:
        case Kind::Failed: return;
        case Kind::Skipped: return;  // the row keeps the outcome it had
        case Kind::NoCopy: run.rows[event.row].copyFault = event.text; return;
        default: break;
    }
    RowResult& row = run.rows[event.row];
    if (event.kind == Kind::Bounced) {
        // The delivery stays as it was recorded; only its outcome changes.
        row.row = event.row;
        row.address = event.address;
        row.messageId = event.messageId;
        row.state = State::Bounced;
        row.reply = event.text;
        return;
    }
    row.row = event.row;
    row.address = event.address;
    row.when = event.when;
    row.reply = event.text;
    switch (event.kind) {
        // Until its reply is recorded, a message whose "." went out may or
        // may not have arrived.
        case Kind::FinalDot:
            row.state = State::Uncertain;
            row.reply = "keine Antwort auf das Ende der Mail";
            break;
        case Kind::Delivered:
            // The reply stays in the record; the result file's column is for refusals.
            row.state = State::Delivered;
            row.messageId = event.messageId;
            row.reply.clear();
            row.copyFault.clear();
            break;
        case Kind::Refused: row.state = State::Failed; break;
        case Kind::Temporary: row.state = State::NotSent; break;
        case Kind::Uncertain: row.state = State::Uncertain; break;
        case Kind::NoAddress: row.state = State::NoAddress; break;
        default: break;
    }
}

RunRecordFile readRunRecord(const std::string& path) {
    RunRecordFile file;
    if (!platform::fileExists(path))
        return file;
    const std::string bytes = platform::readFileBytes(path);
    const auto damaged = [&](int lineNumber, const std::string& reason) {
        return RunRecordError("Der Versandlauf " + path + " ist in Zeile " + std::to_string(lineNumber) +
                              " beschädigt (" + reason +
                              "); es wurde nichts gesendet, damit niemand die Mail ein zweites Mal "
                              "erhält. Bitte die Zeile prüfen oder die Datei beiseitelegen.");
    };
    std::map<std::string, std::size_t> runIndex;
    RecordedRun* current = nullptr;
    std::size_t start = 0;
    for (int lineNumber = 1;; ++lineNumber) {
        const std::size_t end = bytes.find('\n', start);
        // A last line without its LF was cut off by a crash: it is left
        // out, so its event counts as not written.
        if (end == std::string::npos)
            break;
        const std::string_view line(bytes.data() + start, end - start);
        start = end + 1;
        if (lineNumber == 1) {
            const std::vector<std::string_view> fields = splitTabs(line);
            if (fields.size() != 2 || fields[0] != kFormatTitle)
                throw RunRecordError("Die Datei " + path + " ist kein Versandlauf von Sendrix.");
            if (fields[1] != std::to_string(kRunRecordFormat))
                throw RunRecordError("Der Versandlauf " + path + " hat das Format " + std::string(fields[1]) +
                                     " einer anderen Sendrix-Version; diese Version liest nur Format " +
                                     std::to_string(kRunRecordFormat) + ". Es wurde nichts gesendet.");
            file.soundBytes = start;
            continue;
        }
        RecordEvent event;
        try {
            event = parseRecordLine(line);
        } catch (const RunRecordError& error) {
            throw damaged(lineNumber, error.what());
        }
        if (event.kind == RecordEvent::Kind::Start) {
            runIndex[event.run] = file.runs.size();
            file.runs.emplace_back();
            current = &file.runs.back();
        } else if (event.kind == RecordEvent::Kind::Bounced) {
            const auto found = runIndex.find(event.run);
            if (found == runIndex.end())
                throw damaged(lineNumber, "der Lauf " + event.run + " hat nicht begonnen");
            applyEvent(file.runs[found->second], event);
            file.soundBytes = start;
            continue;
        } else if (event.kind == RecordEvent::Kind::Continue) {
            const auto found = runIndex.find(event.run);
            if (found == runIndex.end())
                throw damaged(lineNumber, "der Lauf " + event.run + " hat nicht begonnen");
            current = &file.runs[found->second];
        } else if (!current) {
            throw damaged(lineNumber, "das Ereignis gehört zu keinem Lauf");
        }
        applyEvent(*current, event);
        file.soundBytes = start;
    }
    return file;
}

const RecordedRun* lastRun(const RunRecordFile& file, const std::string& fingerprint) {
    for (auto run = file.runs.rbegin(); run != file.runs.rend(); ++run)
        if (fingerprint.empty() || run->fingerprint == fingerprint)
            return &*run;
    return nullptr;
}

RunRecordWriter::RunRecordWriter(std::string path) : m_path(std::move(path)) {
    const std::size_t slash = m_path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = m_path.substr(0, slash);
        if (!platform::directoryExists(folder) && !platform::createDirectories(folder))
            raiseWriteError(m_path, errno);
    }
    m_file = readRunRecord(m_path);
    m_out = platform::File::open(m_path, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (!m_out.isOpen())
        raiseWriteError(m_path, m_out.openError());
    // A line cut off by a crash goes, so the next event starts a line.
    if (::ftruncate(m_out.fd(), off_t(m_file.soundBytes)) != 0)
        raiseWriteError(m_path, errno);
    if (m_file.soundBytes == 0) {
        if (const int error = m_out.writeAll(formatLine() + "\n"))
            raiseWriteError(m_path, error);
    }
    m_syncer = std::thread([this] { syncEverySecond(); });
}

RunRecordWriter::~RunRecordWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_syncer.join();
    if (m_unsynced)
        (void)::fdatasync(m_out.fd());
}

void RunRecordWriter::syncEverySecond() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kSyncInterval, [this] { return m_stopping; })) {
        if (!m_unsynced.exchange(false))
            continue;
        if (::fdatasync(m_out.fd()) != 0)
            m_syncError = errno;
    }
}

void RunRecordWriter::append(const RecordEvent& event) {
    if (const int error = m_syncError.exchange(0))
        raiseWriteError(m_path, error);
    const std::string line = recordLine(event) + "\n";
    std::size_t written = 0;
    if (const int error = m_out.writeAll(line, &written)) {
        // Never half a line: what went out of it is taken back.
        const off_t end = ::lseek(m_out.fd(), 0, SEEK_CUR);
        if (end >= off_t(written))
            (void)!::ftruncate(m_out.fd(), end - off_t(written));
        raiseWriteError(m_path, error);
    }
    if (event.kind == RecordEvent::Kind::Continue) {
        for (const RecordedRun& run : m_file.runs)
            if (run.id == event.run)
                m_run = run;
    }
    // A bounce names its run, which may be an earlier one than run().
    if (event.kind == RecordEvent::Kind::Bounced)
        for (RecordedRun& run : m_file.runs)
            if (run.id == event.run)
                applyEvent(run, event);
    if (event.kind != RecordEvent::Kind::Bounced || m_run.id == event.run)
        applyEvent(m_run, event);
    m_unsynced = true;
}

void RunRecordWriter::sync() {
    if (const int error = m_syncError.exchange(0))
        raiseWriteError(m_path, error);
    if (!m_unsynced.exchange(false))
        return;
    if (::fdatasync(m_out.fd()) != 0)
        raiseWriteError(m_path, errno);
}

}  // namespace sendrix::merge
