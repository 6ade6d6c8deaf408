#include "merge/send_result.h"

#include <sys/stat.h>

#include "merge/sent_archive.h"
#include "platform/ascii.h"
#include "platform/text_file.h"

namespace sendrix::merge {

namespace {

std::string stateWord(RowResult::State state) {
    switch (state) {
        case RowResult::State::Delivered: return "versendet";
        case RowResult::State::Failed: return "Fehler";
        case RowResult::State::NoAddress: return "keine Adresse";
        case RowResult::State::Uncertain: return "unklar";
        case RowResult::State::Bounced: return "unzustellbar";
        case RowResult::State::Waiting:
        case RowResult::State::NotSent: break;
    }
    return "nicht versendet";
}

// ", keine Kopie in Gesendet: <reason>" after "versendet", when the copy failed.
std::string copyFaultText(const RowResult& result) {
    return result.copyFault.empty() ? std::string() : ", keine Kopie in Gesendet: " + result.copyFault;
}

std::string csvField(std::string text) {
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@'))
        text.insert(0, "'");
    if (text.find_first_of(";\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string rowStatusText(const RowResult& result) {
    switch (result.state) {
        case RowResult::State::Delivered:
            return "versendet " + platform::longTime(result.when) + copyFaultText(result);
        case RowResult::State::Failed: return "Fehler: " + result.reply;
        case RowResult::State::Waiting: return "wartet";
        case RowResult::State::NoAddress: return "keine Adresse";
        case RowResult::State::Uncertain: return "unklar";
        case RowResult::State::Bounced: return "unzustellbar: " + result.reply;
        case RowResult::State::NotSent: break;
    }
    return {};
}

std::string resultFileName(const std::string& folder, const platform::LocalTime& start,
                           const std::string& subject) {
    // The archive's name is by the minute; a run stopped and started again
    // within it must not take the first one's results away.
    const std::string byMinute = archiveFileName(folder, start, subject);
    const std::size_t dash = byMinute.find('-', byMinute.rfind('/') + 1 + 13);
    const std::string stem = byMinute.substr(0, dash) + platform::TwoDigits(start.second) +
                             byMinute.substr(dash, byMinute.size() - 4 - dash);
    std::string name = stem + ".csv";
    for (int counter = 2; platform::fileExists(name); ++counter)
        name = stem + "-" + std::to_string(counter) + ".csv";
    return name;
}

void writeResultFile(const std::string& path, const std::vector<RowResult>& results,
                     const std::vector<int>& sourceRows) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    std::string text = "\xEF\xBB\xBFZeile;Adresse;Ergebnis;Antwort des Servers;Message-ID\r\n";
    for (const RowResult& result : results)
        text += std::to_string(result.row >= 1 && static_cast<std::size_t>(result.row) <= sourceRows.size()
                                   ? sourceRows[static_cast<std::size_t>(result.row) - 1]
                                   : result.row) +
                ";" + csvField(result.address) + ";" +
                csvField(stateWord(result.state) +
                         (result.state == RowResult::State::Delivered ? copyFaultText(result) : "")) +
                ";" + csvField(result.reply) + ";" + csvField(result.messageId) + "\r\n";
    // The file names every recipient, like the send log.
    platform::replaceFileAtomically(path, text, "Datei " + path + " kann nicht erstellt werden", 0600);
}

}  // namespace sendrix::merge
