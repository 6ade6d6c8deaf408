#include "app/password_file.h"

#include <sys/stat.h>

#include <cstdio>

#include "app/mail_settings.h"
#include "app/oauth_token_store.h"
#include "platform/profile_file.h"

namespace sendrix::app {

bool HoldsOwnPassword(const std::string& settingsFile) {
    const std::string stored = platform::readProfileString(settingsFile, "Smtp", "ServerPassword", "");
    return !stored.empty() && stored != kKeyringPasswordMarker;
}

platform::FileAccess SettingsFileAccess(const std::string& settingsFile) {
    const bool secret = HoldsOwnPassword(settingsFile) || HoldsOwnRefreshToken(settingsFile);
    return secret ? platform::FileAccess::OwnerOnly : platform::FileAccess::Keep;
}

std::string ReadablePasswordWarning(const std::string& settingsFile) {
    struct stat info {};
    if (::stat(settingsFile.c_str(), &info) != 0 || (info.st_mode & (S_IRGRP | S_IROTH)) == 0 ||
        !HoldsOwnPassword(settingsFile))
        return {};
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return "Die Datei " + settingsFile +
           " enthält das SMTP-Passwort und ist für Gruppe oder andere Benutzer lesbar (Rechte " + mode +
           "). Sendrix schreibt sie beim nächsten Speichern nur für den Besitzer lesbar (0600); sofort "
           "geht es mit: chmod 600 " +
           settingsFile;
}

}  // namespace sendrix::app
