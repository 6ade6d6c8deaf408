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

// With "/anmelden" or "/anmelden:datei" (whole argument, any case) among
// `arguments`: signs the account of `mailIni` in, printing the German line
// with address and code to `out`, polling through `wait(seconds)`, and
// stores the refresh token in `secrets` ("/anmelden") or scrambled in the
// file ("/anmelden:datei"); sets the login to XOAUTH2 when it was no OAuth
// login. Returns 0 when signed in, 1 after a German error on `err`.
// Without the switch: nothing.
std::optional<int> RunDeviceSignIn(const std::vector<std::string>& arguments, const std::string& mailIni,
                                   SecretStore* secrets, std::ostream& out, std::ostream& err,
                                   const std::function<void(long seconds)>& wait);

}  // namespace sendrix::app
