#pragma once
// HTML that mail programs render alike, made from what a rich-text editor
// writes (Qt's document HTML) or from a clip pasted out of an office
// program or a browser. Mail programs ignore or strip <style> blocks and
// editor-specific markup, so everything that matters goes inline.
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::mail {

// The body's content of `html` (a whole document or a fragment, UTF-8) as
// mail HTML, one block per line, without html, head or body element:
// - kept: paragraphs, headings, line breaks, bold, italic, underline,
//   strike-through, sub- and superscript, lists, links, simple tables,
//   images (src, alt, width, height), quotes, rules;
// - style attributes keep what every mail program knows (colour,
//   background, weight, slant, decoration, alignment, margins, indent,
//   borders); a font size in pt or px becomes a percentage of the body's
//   size (from the body's style, else 12pt), so the reader's own size
//   stays the base; "-qt-" and "mso-" properties and font families go;
// - dropped with their content: head, style, script, comments and other
//   non-content; dropped alone: classes, ids, event handlers, links to
//   "javascript:", tracking images (at most 2 pixels wide or high);
//   unknown elements keep their content.
// Runs of blanks stay as typed (the editor keeps them). Never throws on bad
// HTML: what cannot be read is left out.
// A pasted clip (`remoteImages` Drop) loses its images from the web too:
// mail programs block them, and they are how a page counts its readers.
enum class RemoteImages { Keep, Drop };
std::string ToMailHtml(std::string_view html, RemoteImages remoteImages = RemoteImages::Keep);

// A plain-text body as HTML paragraphs: the lines between empty lines make
// one <p>, a line end inside it a <br>; the text escaped, a second blank of
// a run "&nbsp;" so it stays. No lines for a body without text.
std::vector<std::string> PlainTextAsHtml(const std::vector<std::string>& lines);

// True when `lines` hold an HTML tag or comment ("<p>", "</b>", "<br/>",
// "<!--"): the body is HTML source already, not plain text.
bool HoldsHtmlMarkup(const std::vector<std::string>& lines);

// `text` with "&", "<", ">" and '"' written as character references.
std::string EscapeHtml(std::string_view text);

}  // namespace sendrix::mail
