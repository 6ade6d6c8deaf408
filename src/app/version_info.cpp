#include "app/version_info.h"

#include "platform/version.h"

namespace sendrix::app {

namespace {

std::string blockValue(const VersionResource& resource, const std::string& name) {
    return resource.query(std::string("StringFileInfo\\") + kVersionBlock + "\\" + name);
}

}  // namespace

std::string VersionResource::query(const std::string& subBlock) const {
    auto found = m_values.find(subBlock);
    return found == m_values.end() ? std::string() : found->second;
}

const VersionResource& ProgramVersionResource() {
    static const VersionResource resource({
        {"StringFileInfo\\040704E4\\FileVersion", platform::kProgramVersion},
        {"StringFileInfo\\040704E4\\FileDescription", "Mailclient"},
        {"StringFileInfo\\040704E4\\LegalCopyright",
         "© 2026 Die Sendrix-Entwickler. Freie Software ohne jede Gewährleistung."},
    });
    return resource;
}

std::string VersionInfoText(const VersionResource& resource) {
    // "Version: %s %s(%s)%s%s"
    return "Version: " + blockValue(resource, "FileVersion") + " " + "\r\n" + "(" +
           blockValue(resource, "FileDescription") + ")" + "\r\n" + blockValue(resource, "LegalCopyright");
}

void ShowVersionInfo(const VersionResource& resource, Interaction& interaction) {
    if (!resource.present())
        return;
    interaction.Notice(VersionInfoText(resource));
}

}  // namespace sendrix::app
