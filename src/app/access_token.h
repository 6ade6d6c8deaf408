#pragma once
// The OAuth 2 access token for XOAUTH2 and OAUTHBEARER logins, from the
// command the user configured in "Mail.ini" [Smtp] "TokenCommand" (for
// example a helper of the mail provider that refreshes the token).
#include <string>

namespace sendrix::app {

// Time the token command gets to print its token.
inline constexpr int kTokenCommandTimeoutMs = 30'000;

// Runs `command` (split at blanks outside double quotes, started without a
// shell) and returns the first line of its standard output without the
// line end and surrounding blanks. Throws sendrix::Error naming the
// program (never its arguments, which may hold a secret) when the command
// is empty, cannot be started, runs past `timeoutMs`, ends with a status
// other than 0 (with the first line of its standard error) or prints no
// token.
std::string fetchAccessToken(const std::string& command, int timeoutMs = kTokenCommandTimeoutMs);

}  // namespace sendrix::app
