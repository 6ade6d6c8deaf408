// "/anmelden:datei" (app/oauth_device_sign_in.h) with the clock seam: every
// wait is recorded instead of slept and printed as "waits: 5 5 10" on
// standard error at the end. oauth_device MAIL.INI ARGUMENT...
#include <iostream>
#include <vector>

#include "app/oauth_device_sign_in.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: oauth_device MAIL.INI ARGUMENT...\n";
        return 2;
    }
    std::vector<long> waits;
    const int status = sendrix::app::RunDeviceSignIn(std::vector<std::string>(argv + 2, argv + argc), argv[1],
                                                     nullptr, std::cout, std::cerr,
                                                     [&](long seconds) { waits.push_back(seconds); })
                           .value_or(2);
    std::cerr << "waits:";
    for (long wait : waits)
        std::cerr << " " << wait;
    std::cerr << "\n";
    return status;
}
