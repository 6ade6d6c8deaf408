#pragma once
// What a list send of the window does with the run record: the writer, the
// plan handed to the send run and the counts of the send question.
#include <memory>
#include <string>
#include <vector>

#include "merge/run_record.h"
#include "merge/send_run.h"

namespace sendrix::app {

struct RecordedSend {
    std::unique_ptr<merge::RunRecordWriter> writer;  // null: no record (dry run)
    merge::RecordPlan plan;
    int toSend = 0;            // marked rows with an address still to send
    int alreadyDelivered = 0;  // rows the continued run delivered to
    // False when nothing is to be sent: a question was answered No
    // (`declined`), or "/fortsetzen" found the run finished.
    bool go = true;
    bool declined = false;
};

// "a@x.de, b@y.de": the addresses a question or warning names.
std::string joinedAddresses(const std::vector<std::string>& addresses);

}  // namespace sendrix::app
