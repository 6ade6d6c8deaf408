#include "merge/body_composition.h"

#include "merge/placeholders.h"
#include "merge/salutation.h"
#include "platform/ascii.h"

namespace sendrix::merge {

namespace {

// The body lines with the row's values; a value with line breaks becomes
// lines of its own.
void appendFilled(std::vector<std::string>& to, const std::vector<std::string>& lines,
                  const RecipientRow& row, const std::vector<std::string>& extraTitles) {
    for (const std::string& line : lines) {
        // Most lines hold neither a placeholder nor a line break: they stay
        // as they are (a list send composes every row's body).
        if (line.find("{{") == std::string::npos && platform::findLineBreak(line) == std::string::npos) {
            to.push_back(line);
            continue;
        }
        const std::string filled = fillPlaceholders(line, row, extraTitles, ValueStyle::Text);
        std::size_t from = 0;
        for (;;) {
            const std::size_t end = platform::findLineBreak(filled, from);
            if (end == std::string::npos)
                break;
            to.push_back(filled.substr(from, end - from));
            from = end + (filled.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        }
        to.push_back(filled.substr(from));
    }
}

}  // namespace

std::vector<std::string> composeListBody(const BodySettings& settings, const RecipientRow& row,
                                         const std::vector<std::string>& extraTitles) {
    std::vector<std::string> lines;
    lines.reserve(settings.body.size() + 4);
    if (settings.html)
        lines.push_back(kHtmlHeadLine);
    if (settings.useSalutation) {
        lines.push_back(
            BuildSalutation(settings.salutationTemplate, row, SalutationVariant::ListSend, extraTitles));
        lines.emplace_back();
    }
    appendFilled(lines, settings.body, row, extraTitles);
    if (settings.html)
        lines.push_back(kHtmlTailLine);
    return lines;
}

std::vector<std::string> composeSingleAddressBody(const BodySettings& settings) {
    std::vector<std::string> lines;
    lines.reserve(settings.body.size() + 2);
    if (settings.html)
        lines.push_back(kHtmlHeadLine);
    for (const std::string& line : settings.body)
        lines.push_back(withoutPlaceholders(line));
    if (settings.html)
        lines.push_back(kHtmlTailLine);
    return lines;
}

std::vector<std::string> composeCurrentRowBody(const BodySettings& settings, const RecipientRow& row,
                                               const std::vector<std::string>& extraTitles) {
    std::vector<std::string> lines;
    lines.reserve(settings.body.size() + 2);
    if (settings.useSalutation) {
        lines.push_back(
            BuildSalutation(settings.salutationTemplate, row, SalutationVariant::CurrentRow, extraTitles));
        lines.emplace_back();
    }
    appendFilled(lines, settings.body, row, extraTitles);
    return lines;
}

std::vector<std::string> wrapInParagraph(const std::vector<std::string>& lines) {
    std::vector<std::string> wrapped;
    wrapped.reserve(lines.size() + 2);
    wrapped.push_back("<p>");
    for (const std::string& line : lines)
        wrapped.push_back(line + "<br>");
    wrapped.push_back("</p>");
    return wrapped;
}

}  // namespace sendrix::merge
