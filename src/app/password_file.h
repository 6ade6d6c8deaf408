#pragma once
// "Mail.ini" keeps the SMTP password only scrambled (mail_settings.h), so
// whoever may read the file has the password: a settings file holding one
// is for its owner alone, as mail clients demand of their configuration.
#include <string>

#include "platform/text_file.h"  // FileAccess

namespace sendrix::app {

// True when [Smtp] "ServerPassword" of the file holds a password: not
// absent, not empty and not the keyring's marker.
bool HoldsOwnPassword(const std::string& settingsFile);

// How a write must leave the settings file: OwnerOnly while it holds a
// password or an OAuth 2 refresh token (a file others could read becomes
// 0600), else as it is.
platform::FileAccess SettingsFileAccess(const std::string& settingsFile);

// The start-up warning for a settings file that holds a password and that
// group or others may read, naming the file, its permissions and what
// follows; empty otherwise.
std::string ReadablePasswordWarning(const std::string& settingsFile);

}  // namespace sendrix::app
