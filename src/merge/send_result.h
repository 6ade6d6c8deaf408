#pragma once
// The outcome of each marked row of a list send: the text of the grid's
// status column and the result file written beside the archive.
#include <string>
#include <vector>

#include "platform/clock.h"

namespace sendrix::merge {

struct RowResult {
    enum class State {
        NotSent,    // not tried (the run stopped before the row)
        Waiting,    // refused for now; another try follows
        Delivered,  // the server took the message with its 250 to "."
        Failed,     // refused, or refused for now too often
        NoAddress,  // marked, but its address is blank: nothing to send
        Uncertain,  // the final "." went out, but no reply came
        Bounced,    // delivered, then a delivery report said it failed for good
    };
    int row = 0;  // the grid row, 1 the first data row
    State state = State::NotSent;
    std::string address;
    std::string reply;         // the server's reply of a refusal; a bounce's status and diagnostic
    std::string messageId;     // of the delivered message ("<...>"), empty before
    // Delivered, but no copy went to the Sent folder: why (else empty).
    std::string copyFault;
    platform::LocalTime when;  // when it was delivered or last refused
};

// The status column: "versendet 12:03:04" (with ", keine Kopie in
// Gesendet: <reason>" when the Sent copy failed), "Fehler: 553 5.1.3 ...",
// "wartet", "keine Adresse", "unklar", "unzustellbar: 5.1.1 ..."; empty for
// a row not tried.
std::string rowStatusText(const RowResult& result);

// The result file of a run: folder, start to the second and subject
// ("20261209_163504-Rundbrief.csv"); when a file of that name exists
// already, "-2", "-3" ... before ".csv", so no run replaces another's file.
std::string resultFileName(const std::string& folder, const platform::LocalTime& start,
                           const std::string& subject);

// Writes the results as CSV that spreadsheet programs open: UTF-8 with a
// byte-order mark, ";" between fields, CR LF after each line, a title line
// "Zeile;Adresse;Ergebnis;Antwort des Servers;Message-ID", then one line per
// result (the Message-ID lets a bounce be traced to its row).
// A field holding ";", a quote or a line break is quoted; one that begins
// with "=", "+", "-" or "@" gets a leading "'", so a spreadsheet never reads
// an address or a server reply as a formula. Creates the folder (one
// level); throws FileError naming the file when it cannot be written.
// "Zeile" is the row as the list file numbers it (sourceRows[row - 1], as
// Mailing::sourceRows), the grid row where that is not known.
void writeResultFile(const std::string& path, const std::vector<RowResult>& results,
                     const std::vector<int>& sourceRows = {});

}  // namespace sendrix::merge
