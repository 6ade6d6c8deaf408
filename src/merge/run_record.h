#pragma once
// The run record of list sends: an append-only text file, one line per
// event, that says which rows of a mailing went out. The send run writes an
// event before each step goes further and after each outcome; the result
// file, the window's status column and the continuation of an interrupted
// run are all read from it. Format (UTF-8, fields separated by a tab, LF
// after each line; a tab or line break inside a field becomes a blank):
//
//   Sendrix-Versandlauf<TAB>1
//   <time> lauf <run> <fingerprint> <rows to send> <result file> <list> <subject>
//   <time> fortsetzung <run>
//   <time> punkt <row> <address> <message-id>       the final "." goes out next
//   <time> versendet <row> <address> <message-id> <reply>
//   <time> ohne-kopie <row> <address> <reason>    delivered, no copy in Sent
//   <time> abgewiesen <row> <address> <reply>
//   <time> vorlaeufig <row> <address> <reply>      refused for now
//   <time> unklar <row> <address> <reason>          "." sent, no reply came
//   <time> uebersprungen <row> <address> <reason>   left out; its outcome stays
//   <time> keine-adresse <row>
//   <time> ende | abbruch | fehler <text>
//   <time> unzustellbar <run> <row> <address> <message-id> <status diagnostic>
//
// <time> is local "YYYY-MM-DD hh:mm:ss"; <run> the start to the second
// ("20261209-163504"). Row events belong to the run of the last "lauf" or
// "fortsetzung" line; "unzustellbar" (a delivery report found later, by
// "Rückläufer prüfen") names its run itself. A row whose last event is "punkt" is uncertain: the
// program died between the "." and its reply. A run is finished once its
// last session ended with "ende".
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "merge/mailing.h"
#include "merge/send_result.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/file.h"

namespace sendrix::merge {

inline constexpr int kRunRecordFormat = 1;

// A record that cannot be read as one: another version's, or a line in it
// that is no event. The text names the file and says that nothing was sent.
class RunRecordError : public Error {
public:
    using Error::Error;
};

// 16 hex digits over what makes "the same mailing": the list file (its
// absolute path), the subject, the body and the attachments.
std::string mailingFingerprint(const Mailing& mailing, const std::string& listFile);

// Where a mailing's record lives: beside the mailing file when there is one
// ("/a/rundbrief.mailing" gives "/a/rundbrief.versandlauf"), else in
// `programFolder` (ending in "/") as "Versandlaeufe/<list name>-<16 hex of
// the list's absolute path>.versandlauf".
std::string runRecordPath(const std::string& mailingFile, const std::string& listFile,
                          const std::string& programFolder);

struct RecordEvent {
    enum class Kind {
        Start, Continue, FinalDot, Delivered, Refused, Temporary, Uncertain, Skipped, NoAddress,
        End, Stopped, Failed, NoCopy, Bounced,
    };
    platform::LocalTime when;
    Kind kind = Kind::End;
    std::string run;  // Start, Continue, Bounced
    int row = 0;
    std::string address;
    std::string messageId;  // FinalDot, Delivered, Bounced
    std::string text;       // the reply, the reason, the error
    // Start only.
    std::string fingerprint;
    int toSend = 0;
    std::string resultFile;
    std::string listFile;
    std::string subject;
};

// One event as its line (without the LF).
std::string recordLine(const RecordEvent& event);
// A line back to its event; throws RunRecordError with the reason (without
// the file name) for a line that is no event.
RecordEvent parseRecordLine(std::string_view line);

// One run of a mailing as its events leave it.
struct RecordedRun {
    std::string id;
    std::string fingerprint;
    platform::LocalTime start;
    int toSend = 0;
    std::string resultFile;
    bool finished = false;
    std::map<int, RowResult> rows;  // latest outcome by grid row

    // Rows delivered; whether `row` with `address` was.
    int delivered() const;
    bool deliveredTo(int row, const std::string& address) const;
    bool uncertain(int row, const std::string& address) const;
    // Every row by row number with its latest outcome, and the rows of
    // `planned` the run has no event of yet as they stand there.
    std::vector<RowResult> results(const std::vector<RowResult>& planned = {}) const;
};

// Brings `run` up to date with one of its events.
void applyEvent(RecordedRun& run, const RecordEvent& event);

struct RunRecordFile {
    std::vector<RecordedRun> runs;  // in the order they began
    // The bytes up to the end of the last whole line: a line cut off by a
    // crash is left out and cut away before the next event is appended.
    std::size_t soundBytes = 0;
};

// Reads a record; a missing or empty file has no runs. Throws FileError when
// it cannot be read, RunRecordError for another format version or a whole
// line that is no event.
RunRecordFile readRunRecord(const std::string& path);

// The last run of `file` with `fingerprint` (any run when it is empty);
// null when there is none.
const RecordedRun* lastRun(const RunRecordFile& file, const std::string& fingerprint);

// Appends events to a record, the file kept open for the whole run: one
// write per event, forced to disk (fdatasync) once a second by a thread of
// its own while events come (a sync can take tens of milliseconds, which the
// messages must not wait for), and by sync() before every wait of the run
// and at its end, so a power loss costs at most the events of the last
// second.
class RunRecordWriter {
public:
    // Opens `path` (creating its folder and the file, mode 0600, with the
    // format line), reads it and cuts away a line left half-written. Throws
    // what readRunRecord throws, and FileError "Der Versandlauf %s kann nicht
    // geschrieben werden: <reason>".
    explicit RunRecordWriter(std::string path);
    ~RunRecordWriter();
    RunRecordWriter(const RunRecordWriter&) = delete;
    RunRecordWriter& operator=(const RunRecordWriter&) = delete;

    const std::string& path() const { return m_path; }
    const RunRecordFile& contents() const { return m_file; }
    // The run the events go to: set by a Start or Continue event (Continue
    // takes the earlier events of that run from the file).
    const RecordedRun& run() const { return m_run; }

    // Writes the event and applies it to run(). Throws the FileError above
    // (also for a failed sync since the last event); the file then holds no
    // part of the line.
    void append(const RecordEvent& event);
    // Forces what was written to disk now; throws the FileError above.
    void sync();

private:
    // The thread's loop: a sync a second while something is unsynced.
    void syncEverySecond();

    std::string m_path;
    RunRecordFile m_file;
    RecordedRun m_run;
    platform::File m_out;
    std::atomic<bool> m_unsynced{false};
    std::atomic<int> m_syncError{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_syncer;
};

}  // namespace sendrix::merge
