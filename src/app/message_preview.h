#pragma once
// The "Vorschau" window's model: the marked rows of a list, one at a time,
// each message as its recipient gets it: the header lines, the text (for an
// HTML mailing its text rendering, the part sent beside the HTML), the HTML
// as sent with the images it names, and the attachments with their sizes.
#include <string>
#include <vector>

#include "mail/id_message.h"
#include "merge/mailing.h"

namespace sendrix::app {

struct PreviewMessage {
    // A placeholder that names no column or a missing image: shown instead
    // of the message; everything else is empty then.
    std::string error;
    // "Von: ...", "An: ...", "CC: ..." and "BCC: ..." (when set),
    // "Betreff: ...", "Zeichensatz: ..." (the charset the body is sent in).
    std::vector<std::string> head;
    // The text the recipient reads: the body, or an HTML body's rendering.
    std::vector<std::string> text;
    // An HTML body as it goes out, images named by "cid:"; empty for text.
    std::string html;
    std::vector<mail::TIdInlineImage> images;  // the files behind those "cid:"
    // One line per file, "  name (n Bytes)" or "  name (fehlt)".
    std::vector<std::string> attachments;

    // The text page: the head, an empty line, the text, and after an empty
    // line "Anhänge:" with the attachments; the error alone when there is one.
    std::vector<std::string> TextPage() const;
};

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
    // Shows the marked row at `position`; others are ignored.
    void Choose(int position);

    // "Zeile %d (%d von %d)": the grid row and the place among the marked
    // rows; "Keine markierte Zeile" when there is none.
    std::string Caption() const;
    // For each marked row "Zeile %d: address", the choices of a row chooser.
    std::vector<std::string> RowChoices() const;
    // The message of the row shown; an empty one when no row is marked.
    PreviewMessage Message() const;

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
