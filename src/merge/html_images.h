#pragma once
// The local images of an HTML body. An <img src> that names a file on this
// computer would reach every recipient as a path to a file they do not
// have: the file goes out as an inline part of the message instead, and
// the src names it by "cid:" (RFC 2392).
#include <string>
#include <vector>

#include "mail/id_message.h"

namespace sendrix::merge {

struct EmbeddedImages {
    std::vector<std::string> lines;            // the body with each local src made "cid:..."
    std::vector<mail::TIdInlineImage> images;  // each file once, in order of first use
};

// `lines` with every <img src> (the tag on one line or over several) that names a local file (an
// absolute path, a "file:" URL, or a path relative to `folder`; empty:
// the current folder) replaced by a "cid:" of its own; URLs ("https:",
// "cid:", "data:") and all other bytes stay as they are. Throws FileError
// naming the image when a named file does not exist.
EmbeddedImages embedLocalImages(const std::vector<std::string>& lines, const std::string& folder);

// `lines` with every <img src> that is an absolute path of a file below
// `folder` written relative to it (a mailing file's images move with it, as
// its attachments do); every other byte stays.
std::vector<std::string> imagePathsRelativeTo(const std::vector<std::string>& lines,
                                              const std::string& folder);

// `lines` with every relative <img src> of a local file joined to `folder`,
// so it names the same file when the body's folder changes (a mailing saved
// elsewhere). Empty `folder`: the lines as they are.
std::vector<std::string> imagePathsAbsoluteIn(const std::vector<std::string>& lines,
                                              const std::string& folder);

}  // namespace sendrix::merge
