/* The yardstick of the connection-reuse benchmark: a minimal SMTP client in
 * C that sends COUNT messages over one connection: greeting, "ehlo",
 * STARTTLS with a verified handshake (the chain to CA_FILE, the name
 * "localhost"), "ehlo" again, then per message "Rset", MAIL, RCPT, "Data",
 * the pre-rendered text with its "." in one write, each command waiting for
 * its reply; "Quit" at the end.
 *
 *   starttls_reuse_client PORT CA_FILE MESSAGE_FILE COUNT
 *
 * Prints "<count> messages in <seconds> s: <rate> messages/s". */
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "smtp_client_common.h"
#include "tls_client_common.h"

static int fd = -1;
static SSL* ssl = NULL;

static void fail(const char* what) {
    ERR_print_errors_fp(stderr);
    client_fail(what);
}

/* Through TLS once STARTTLS is done, in the clear before. */
static void send_all(const void* data, size_t length) {
    if (ssl)
        tls_send_all(ssl, data, length);
    else
        client_send_all(fd, data, length);
}

static int read_reply(void) {
    return ssl ? tls_read_reply(ssl) : client_read_reply(fd);
}

static void command(const char* text, int expected) {
    send_all(text, strlen(text));
    if (read_reply() != expected)
        fail(text);
}

int main(int argc, char** argv) {
    client_name = "starttls_reuse_client";
    if (argc != 5)
        client_fail("usage: starttls_reuse_client PORT CA_FILE MESSAGE_FILE COUNT");
    int port = atoi(argv[1]);
    int count = atoi(argv[4]);
    size_t size;
    unsigned char* message = client_read_file(argv[3], &size, 3);
    memcpy(message + size, ".\r\n", 3);

    struct timespec begin = client_now();
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, NULL);
    if (SSL_CTX_load_verify_locations(context, argv[2], NULL) != 1)
        fail("cannot load the CA file");
    fd = client_connect(port);
    if (read_reply() != 220)
        fail("greeting");
    command(client_ehlo(), 250);
    command("STARTTLS\r\n", 220);
    ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    SSL_set_tlsext_host_name(ssl, "localhost");
    SSL_set1_host(ssl, "localhost");
    if (SSL_connect(ssl) != 1)
        fail("TLS handshake");
    command(client_ehlo(), 250);
    for (int i = 0; i < count; i++) {
        command("Rset\r\n", 250);
        command("Mail from:<absender@example.org>\r\n", 250);
        command("RCPT to:<empfaenger@example.org>\r\n", 250);
        command("Data\r\n", 354);
        send_all(message, size + 3);
        if (read_reply() != 250)
            fail("end of data");
    }
    command("Quit\r\n", 221);
    SSL_shutdown(ssl);
    SSL_free(ssl);
    close(fd);
    SSL_CTX_free(context);
    client_report(count, begin);
    free(message);
    return 0;
}
