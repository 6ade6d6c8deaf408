#pragma once
// The plain-text rendering of an HTML body, sent before the HTML in a
// multipart/alternative message: receivers distrust HTML-only mail, and
// readers without HTML show this text.
#include <string>
#include <vector>

namespace sendrix::mail {

// Tags removed; the text of head, style and script left out; paragraphs,
// headings, list items, table rows and divisions become lines separated by
// an empty line, "<br>" a line end; a link keeps its target as text behind
// its words ("Anmeldung (https://...)"); an image sent with the message
// ("cid:") is "[Bild: alt text]"; character references decoded.
// White space runs as a browser shows them: one blank. UTF-8 in and out.
std::vector<std::string> RenderHtmlAsText(const std::vector<std::string>& htmlLines);

}  // namespace sendrix::mail
