#include "merge/body_composition.h"

#include "merge/salutation.h"

namespace sendrix::merge {

namespace {

void append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

}  // namespace

std::vector<std::string> composeListBody(const BodySettings& settings, const RecipientRow& row) {
    std::vector<std::string> lines;
    lines.reserve(settings.body.size() + 4);
    if (settings.html) lines.push_back(kHtmlHeadLine);
    if (settings.useSalutation) {
        lines.push_back(
            BuildSalutation(settings.salutationTemplate, row, SalutationVariant::ListSend));
        lines.emplace_back();
    }
    append(lines, settings.body);
    if (settings.html) lines.push_back(kHtmlTailLine);
    return lines;
}

std::vector<std::string> composeSingleAddressBody(const BodySettings& settings) {
    std::vector<std::string> lines;
    lines.reserve(settings.body.size() + 2);
    if (settings.html) lines.push_back(kHtmlHeadLine);
    append(lines, settings.body);
    if (settings.html) lines.push_back(kHtmlTailLine);
    return lines;
}

std::vector<std::string> composeCurrentRowBody(const BodySettings& settings,
                                               const RecipientRow& row) {
    std::vector<std::string> lines;
    lines.reserve(settings.body.size() + 2);
    if (settings.useSalutation) {
        lines.push_back(
            BuildSalutation(settings.salutationTemplate, row, SalutationVariant::CurrentRow));
        lines.emplace_back();
    }
    append(lines, settings.body);
    return lines;
}

std::vector<std::string> wrapInParagraph(const std::vector<std::string>& lines) {
    std::vector<std::string> wrapped;
    wrapped.reserve(lines.size() + 2);
    wrapped.push_back("<p>");
    for (const std::string& line : lines) wrapped.push_back(line + "<br>");
    wrapped.push_back("</p>");
    return wrapped;
}

}  // namespace sendrix::merge
