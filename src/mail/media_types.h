#pragma once
// The media type of an attachment from its file name's extension, from the
// system's MIME database: /etc/mime.types (Debian's media-types), then the
// "*.ext" globs of shared-mime-info. Receivers distrust a text or PDF file
// sent as "application/octet-stream" (SpamAssassin's OBFU_TEXT_ATTACH).
#include <string>
#include <string_view>
#include <unordered_map>

namespace sendrix::mail {

inline constexpr std::string_view kOctetStream = "application/octet-stream";

class MediaTypeTable {
public:
    // Adds the entries of a file in mime.types form ("type ext ext ...",
    // "#" comments); an extension already known keeps its first type. A
    // missing or unreadable file adds nothing.
    void LoadMimeTypes(const std::string& path);
    // Adds the "*.ext" entries of a file in shared-mime-info's globs2 form
    // ("weight:type:pattern"), in the same way.
    void LoadGlobs(const std::string& path);

    // The type for the extension after the file name's last "." (letter
    // case ignored), kOctetStream when unknown or there is none.
    std::string Lookup(std::string_view fileName) const;

private:
    void add(std::string extension, std::string_view type);

    std::unordered_map<std::string, std::string> m_types;
};

// Lookup in the system's table, read once per process.
std::string MediaTypeForFileName(std::string_view fileName);

}  // namespace sendrix::mail
