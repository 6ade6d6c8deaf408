#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "mail/tls_session.h"
#include "platform/process.h"
#include "support/temp_folder.h"

using namespace sendrix::mail;
using sendrix::test::TempFolder;

namespace {

// A throw-away CA and a server certificate for the A-label of "bücher.example",
// made once with the openssl command; the CA is the only trusted one.
class Certificates {
public:
    Certificates() {
        run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
             m_folder.path("ca.key"), "-out", m_folder.path("ca.pem"), "-days", "2", "-subj", "/CN=Test CA"});
        run({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
             key(), "-out", m_folder.path("server.csr"), "-subj", "/CN=xn--bcher-kva.example"});
        m_folder.write("ext", "subjectAltName=DNS:xn--bcher-kva.example\n");
        run({"x509", "-req", "-in", m_folder.path("server.csr"), "-CA", m_folder.path("ca.pem"), "-CAkey",
             m_folder.path("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", m_folder.path("ext"),
             "-out", certificate()});
    }
    std::string ca() const { return m_folder.path("ca.pem"); }
    std::string certificate() const { return m_folder.path("server.pem"); }
    std::string key() const { return m_folder.path("server.key"); }

private:
    static void run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "openssl");
        const auto result = sendrix::platform::runCaptured(arguments, 30'000, 65'536);
        ASSERT_EQ(result.exitStatus, 0) << result.errors;
    }
    TempFolder m_folder;
};

// One TLS server handshake on its end of a socket pair, in a thread of its
// own; records the SNI name the client sent.
class TlsServer {
public:
    TlsServer(const Certificates& certificates, int fd) : m_fd(fd) {
        m_ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(m_ctx, certificates.certificate().c_str());
        SSL_CTX_use_PrivateKey_file(m_ctx, certificates.key().c_str(), SSL_FILETYPE_PEM);
        m_thread = std::thread([this] {
            SSL* ssl = SSL_new(m_ctx);
            SSL_set_fd(ssl, m_fd);
            if (SSL_accept(ssl) == 1) {
                const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
                m_sni = name != nullptr ? name : "";
            }
            SSL_free(ssl);
            ::close(m_fd);
        });
    }
    ~TlsServer() {
        if (m_thread.joinable())
            m_thread.join();
        SSL_CTX_free(m_ctx);
    }
    // After the handshake: the name the client sent ("" for none).
    std::string sni() {
        m_thread.join();
        return m_sni;
    }

private:
    SSL_CTX* m_ctx = nullptr;
    int m_fd;
    std::string m_sni;
    std::thread m_thread;
};

// The client's handshake over a non-blocking socket, each wait bounded.
void handshake(TlsSession& session, int fd) {
    TlsWant want = TlsWant::Nothing;
    for (int step = 0; !session.HandshakeStep(want); ++step) {
        ASSERT_LT(step, 100) << "handshake does not end";
        pollfd ready{fd, short(want == TlsWant::Write ? POLLOUT : POLLIN), 0};
        ASSERT_EQ(::poll(&ready, 1, 5000), 1) << "server does not answer";
    }
}

class TlsSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_certificates = new Certificates;
        // Read when the client context sets up its trust store.
        ::setenv("SSL_CERT_FILE", s_certificates->ca().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete s_certificates;
        s_certificates = nullptr;
    }
    static Certificates* s_certificates;
};

Certificates* TlsSessionTest::s_certificates = nullptr;

}  // namespace

TEST_F(TlsSessionTest, AnInternationalisedServerNameGoesIntoSniAndTheCheckAsItsALabel) {
    struct Row {
        const char* host;
        const char* sni;
        // Empty: the certificate is trusted; else part of the refusal.
        const char* refusal;
    } rows[] = {
        {"bücher.example", "xn--bcher-kva.example", ""},
        {"BÜCHER.example", "xn--bcher-kva.example", ""},
        {"xn--bcher-kva.example", "xn--bcher-kva.example", ""},
        // Another name: refused, the message names the configured one and
        // the certificate's.
        {"buecher.example", "buecher.example",
         "Das Zertifikat des Servers gilt nicht für \"buecher.example\", sondern für xn--bcher-kva.example."},
    };
    TlsClientContext context;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        TlsServer server(*s_certificates, fds[1]);
        {
            TlsSession session(context, fds[0], row.host, std::string(row.host) + ":465");
            handshake(session, fds[0]);
            if (*row.refusal == 0) {
                EXPECT_NO_THROW(session.CheckPeer(""));
            } else {
                try {
                    session.CheckPeer("");
                    ADD_FAILURE() << "trusted";
                } catch (const EIdCertificateError& error) {
                    EXPECT_THAT(error.what(), ::testing::StartsWith(row.refusal));
                }
            }
            EXPECT_EQ(server.sni(), row.sni);
        }
        ::close(fds[0]);
    }
}

TEST_F(TlsSessionTest, AServerNameWithoutALabelIsRefusedBeforeAnyByteGoesOut) {
    TlsClientContext context;
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    try {
        TlsSession session(context, fds[0], "-bücher.example", "-bücher.example:465");
        ADD_FAILURE() << "accepted";
    } catch (const EIdTlsError& error) {
        EXPECT_THAT(error.what(),
                    ::testing::StartsWith("Der Servername \"-bücher.example\" ist kein gültiger "
                                          "Domainname ("));
        EXPECT_THAT(error.what(), ::testing::HasSubstr("\r\nServer -bücher.example:465 – Servernamen"));
    }
    char byte = 0;
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    EXPECT_EQ(::recv(fds[1], &byte, 1, 0), -1);
    ::close(fds[0]);
    ::close(fds[1]);
}
