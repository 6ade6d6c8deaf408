#pragma once
// Putting together the body of one message in the staging text: the
// salutation, the HTML wrapper lines and the text of the body editor.
#include <cstddef>
#include <string>
#include <vector>

#include "merge/recipient_list.h"

namespace sendrix::merge {

// The head line names iso-8859-1 although the message's content type names
// Windows-1252; mailings sent before rely on the line as it stands.
inline constexpr const char* kHtmlHeadLine =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
    "charset=iso-8859-1\"></head><body>";
inline constexpr const char* kHtmlTailLine = "</body></html>";

// What the composition reads of the window: the salutation switch and
// template, the HTML switch and the lines of the body editor.
struct BodySettings {
    bool useSalutation = false;
    std::string salutationTemplate;
    bool html = false;
    std::vector<std::string> body;
};

// List send: [head] [salutation, empty line] body [tail], the salutation in
// its list-send form for `row`. Column placeholders in the salutation and
// the body are filled from `row` (a value with line breaks gives several
// lines); one that names no column throws PlaceholderError.
std::vector<std::string> composeListBody(const BodySettings& settings, const RecipientRow& row,
                                         const std::vector<std::string>& extraTitles = {});

// The bytes of composeListBody's lines with a CR LF after each, without
// making the lines (the pre-flight check's size of every row). Throws as it.
std::size_t composedListBodySize(const BodySettings& settings, const RecipientRow& row,
                                 const std::vector<std::string>& extraTitles = {});

// A list send's body worked out once for all its rows: which lines hold a
// placeholder or a line break (only those are filled per row).
// composeListBody and composedListBodySize use it for one row. Keeps
// references to `settings` and `extraTitles`, which must outlive it and
// stay unchanged.
class ListBody {
public:
    ListBody(const BodySettings& settings, const std::vector<std::string>& extraTitles);
    std::vector<std::string> compose(const RecipientRow& row) const;
    // The same into `lines`, whose strings are reused (a list send makes
    // no line anew for each row).
    void compose(const RecipientRow& row, std::vector<std::string>& lines) const;
    std::size_t composedSize(const RecipientRow& row) const;

private:
    const BodySettings& m_settings;
    const std::vector<std::string>& m_extraTitles;
    std::vector<bool> m_filled;
};

// One typed address: [head] body [tail], no salutation. Throws
// PlaceholderError when the body holds a column placeholder.
std::vector<std::string> composeSingleAddressBody(const BodySettings& settings);

// Send to the grid's current row: [salutation, empty line] body; never the
// HTML wrapper lines. Placeholders as in composeListBody.
std::vector<std::string> composeCurrentRowBody(const BodySettings& settings, const RecipientRow& row,
                                               const std::vector<std::string>& extraTitles = {});

// The head lines of `lines` named with the charset the writer chooses for
// them (the same choice), not a fixed label the bytes may not match.
void nameSentCharset(std::vector<std::string>& lines);

// "HTML vorbereiten": "<p>" as a new first line, "<br>" at the end of every
// line that was there, "</p>" as a new last line.
std::vector<std::string> wrapInParagraph(const std::vector<std::string>& lines);

}  // namespace sendrix::merge
