#include "merge/body_composition.h"

#include "mail/wire_charset.h"
#include "merge/placeholders.h"
#include "merge/salutation.h"
#include "platform/ascii.h"

namespace sendrix::merge {

namespace {

// Whether a body line is filled per row: it holds a placeholder or a line
// break. Most lines hold neither and stay as they are.
bool isFilledLine(const std::string& line) {
    return line.find("{{") != std::string::npos || platform::findLineBreak(line) != std::string::npos;
}

template <typename Emit>
void emitLines(std::string_view text, Emit&& emit) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = platform::findLineBreak(text, from);
        if (end == std::string::npos)
            break;
        emit(text.substr(from, end - from));
        from = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    emit(text.substr(from));
}

// A section ({{#Spalte}} ... {{/Spalte}}) may span lines: such a body is
// filled as one text.
bool hasSections(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        if (line.find("{{#") != std::string::npos || line.find("{{^") != std::string::npos ||
            line.find("{{/") != std::string::npos)
            return true;
    return false;
}

// Calls `emit` with each body line with the row's values (HTML-escaped in
// an HTML body); a value with line breaks becomes lines of its own. `filled`, when given, says isFilledLine
// of each line (worked out once for a list send's rows).
template <typename Emit>
void forEachFilledLine(const std::vector<std::string>& lines, bool html, const RecipientRow& row,
                       const std::vector<std::string>& extraTitles, Emit&& emit,
                       const std::vector<bool>* filled = nullptr) {
    if (hasSections(lines)) {
        std::string whole;
        for (std::size_t i = 0; i < lines.size(); ++i)
            (i ? whole += '\n' : whole) += lines[i];
        emitLines(fillPlaceholders(whole, row, extraTitles, html ? ValueStyle::Html : ValueStyle::Text), emit);
        return;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (filled ? !(*filled)[i] : !isFilledLine(line)) {
            emit(line);
            continue;
        }
        emitLines(fillPlaceholders(line, row, extraTitles, html ? ValueStyle::Html : ValueStyle::Text), emit);
    }
}

void appendFilled(std::vector<std::string>& to, const BodySettings& settings, const RecipientRow& row,
                  const std::vector<std::string>& extraTitles) {
    forEachFilledLine(settings.body, settings.html, row, extraTitles,
                      [&](std::string_view line) { to.emplace_back(line); });
}

// Calls `emit` with every line of the list-send body of `row`.
template <typename Emit>
void forEachListBodyLine(const BodySettings& settings, const RecipientRow& row,
                         const std::vector<std::string>& extraTitles, Emit&& emit,
                         const std::vector<bool>& filled) {
    if (settings.html)
        emit(kHtmlHeadLine);
    if (settings.useSalutation) {
        emit(BuildSalutation(settings.salutationTemplate, row, SalutationVariant::ListSend, extraTitles));
        emit("");
    }
    forEachFilledLine(settings.body, settings.html, row, extraTitles, emit, &filled);
    if (settings.html)
        emit(kHtmlTailLine);
}

}  // namespace

std::vector<std::string> composeListBody(const BodySettings& settings, const RecipientRow& row,
                                         const std::vector<std::string>& extraTitles) {
    return ListBody(settings, extraTitles).compose(row);
}

std::size_t composedListBodySize(const BodySettings& settings, const RecipientRow& row,
                                 const std::vector<std::string>& extraTitles) {
    return ListBody(settings, extraTitles).composedSize(row);
}

ListBody::ListBody(const BodySettings& settings, const std::vector<std::string>& extraTitles)
    : m_settings(settings), m_extraTitles(extraTitles) {
    m_filled.reserve(settings.body.size());
    for (const std::string& line : settings.body)
        m_filled.push_back(isFilledLine(line));
}

std::vector<std::string> ListBody::compose(const RecipientRow& row) const {
    std::vector<std::string> lines;
    lines.reserve(m_settings.body.size() + 4);
    compose(row, lines);
    return lines;
}

void ListBody::compose(const RecipientRow& row, std::vector<std::string>& lines) const {
    std::size_t used = 0;
    const auto put = [&](std::string_view line) {
        if (used < lines.size())
            lines[used].assign(line);
        else
            lines.emplace_back(line);
        ++used;
    };
    forEachListBodyLine(m_settings, row, m_extraTitles, put, m_filled);
    lines.resize(used);
}

std::size_t ListBody::composedSize(const RecipientRow& row) const {
    std::size_t size = 0;
    forEachListBodyLine(
        m_settings, row, m_extraTitles, [&](std::string_view line) { size += line.size() + 2; }, m_filled);
    return size;
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
    appendFilled(lines, settings, row, extraTitles);
    return lines;
}

void nameSentCharset(std::vector<std::string>& lines) {
    const std::string charset = mail::ChooseWireCharset(lines, platform::localeLanguage()).name;
    for (std::string& line : lines) {
        if (line != kHtmlHeadLine)
            continue;
        const size_t at = line.find("charset=iso-8859-1");
        line.replace(at, 18, "charset=" + charset);
    }
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
