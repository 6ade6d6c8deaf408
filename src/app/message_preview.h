#pragma once
// The "Vorschau" window's model: the marked rows of a list, one at a time,
// each message as its recipient gets it (sender, recipient, copy, subject,
// the whole personalised body, the attachments with their sizes).
#include <string>
#include <vector>

#include "merge/mailing.h"

namespace sendrix::app {

class MessagePreview {
public:
    // `mailing` with its rows; only marked rows are shown, in grid order.
    explicit MessagePreview(merge::Mailing mailing);

    int Count() const { return static_cast<int>(m_marked.size()); }
    int Position() const { return m_position; }  // 0 .. Count()-1
    bool CanGoBack() const { return m_position > 0; }
    bool CanGoOn() const { return m_position + 1 < Count(); }
    void Back();
    void On();

    // "Zeile %d (%d von %d)": the grid row and the place among the marked
    // rows; "Keine markierte Zeile" when there is none.
    std::string Caption() const;
    // "Von: ...", "An: ...", "CC: ..." (when set), "Betreff: ...", an empty
    // line, the body lines, and after an empty line "Anhänge:" with one line
    // per file "  name (n Bytes)" or "  name (fehlt)". A placeholder that
    // names no column shows its error instead of the message.
    std::vector<std::string> Lines() const;

private:
    merge::Mailing m_mailing;
    std::vector<int> m_marked;  // indexes into m_mailing.rows
    int m_position = 0;
};

// Shows a preview modally; set by the view (null: "Vorschau" does nothing).
class PreviewDialogRunner {
public:
    virtual ~PreviewDialogRunner() = default;
    virtual void RunPreview(MessagePreview& preview) = 0;
};

}  // namespace sendrix::app
