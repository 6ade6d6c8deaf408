#pragma once
// A real SMTP server with STARTTLS and a checked login for window tests:
// aiosmtpd (tests/support/tls_smtp_server.py) in a process of its own on
// 127.0.0.1, behind a certificate for "localhost" from a CA made for the
// test. The client trusts that CA through SSL_CERT_FILE (trustCa()).
#include <string>
#include <sys/types.h>

#include "support/temp_folder.h"

namespace sendrix::test {

class TlsSmtpServer {
public:
    // Starts the server taking `user` with `password`; waits at most 60 s
    // for it to listen (the CA is made first). Throws std::runtime_error
    // when it does not come up.
    TlsSmtpServer(const std::string& user, const std::string& password);
    // Closes its input, so it stops; waits for it (bounded), kills it last.
    ~TlsSmtpServer();
    TlsSmtpServer(const TlsSmtpServer&) = delete;
    TlsSmtpServer& operator=(const TlsSmtpServer&) = delete;

    int port() const { return m_port; }
    // Points SSL_CERT_FILE of this process at the test CA.
    void trustCa() const;
    // The n-th message the server took (1-based), as received; "" none.
    std::string received(int n) const { return m_folder.read("received-" + std::to_string(n) + ".eml"); }

private:
    void stop();

    TempFolder m_folder;
    pid_t m_pid = -1;
    int m_input = -1;
    int m_port = 0;
    std::string m_ca;
};

}  // namespace sendrix::test
