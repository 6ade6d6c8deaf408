#pragma once
// The version block of the program file and the "Versionsinfo" message.
#include <map>
#include <string>

#include "app/interaction.h"

namespace sendrix::app {

// A program file's version resource: string values addressed as
// "StringFileInfo\<block>\<name>", as the version-info functions query them.
class VersionResource {
public:
    VersionResource() = default;
    explicit VersionResource(std::map<std::string, std::string> values) : m_values(std::move(values)) {}

    // False when the file has no version resource at all.
    bool present() const { return !m_values.empty(); }
    // The value under `subBlock`; empty when it is not there.
    std::string query(const std::string& subBlock) const;

private:
    std::map<std::string, std::string> m_values;
};

// The string table of this program, German (Germany), code page 1252.
inline constexpr const char* kVersionBlock = "040704E4";

// The version block compiled into the program: "FileVersion",
// "FileDescription" and "LegalCopyright" under kVersionBlock.
const VersionResource& ProgramVersionResource();

// "Version: %s %s(%s)%s%s" with the file version, CR LF, the description,
// CR LF and the legal notice.
std::string VersionInfoText(const VersionResource& resource);

// Shows VersionInfoText in a notice; a file without a version resource shows
// nothing.
void ShowVersionInfo(const VersionResource& resource, Interaction& interaction);

}  // namespace sendrix::app
