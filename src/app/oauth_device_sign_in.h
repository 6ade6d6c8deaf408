#pragma once
// "/anmelden": the OAuth 2 sign-in of the account in "Mail.ini" on a
// machine without a browser (RFC 8628 device authorization): Sendrix prints
// an address and a code, the user signs in on any other device, and the
// refresh token is stored for later unattended runs.
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sendrix::app {

class SecretStore;

// "/anmelden" (false: into the keyring) or "/anmelden:datei" (true: into
// the file) among `arguments`, whole arguments in any case; the later one
// wins. Nothing without either.
std::optional<bool> DeviceSignInRequested(const std::vector<std::string>& arguments);

// Signs the account of `mailIni` in, printing the German line with address
// and code to `out` and polling through `wait(seconds)`, and stores the
// refresh token in `secrets` or, with `inFile`, scrambled in the file; sets
// the login to XOAUTH2 when it was no OAuth login. Returns 0 when signed
// in, 1 after a German error on `err`.
int RunDeviceSignIn(bool inFile, const std::string& mailIni, SecretStore* secrets, std::ostream& out,
                    std::ostream& err, const std::function<void(long seconds)>& wait);

}  // namespace sendrix::app
