/* The yardstick of the STARTTLS benchmark: a minimal SMTP client in C with
 * OpenSSL that runs the program's dialogue over STARTTLS, one connection per
 * message: greeting, "ehlo", "STARTTLS", the handshake with the chain
 * verified against CA_FILE and the name "localhost" checked (SNI sent),
 * "ehlo" again, "Rset", MAIL, RCPT, "Data", the pre-rendered text with ".",
 * "Quit", close_notify. Each command waits for its reply; TCP_NODELAY as the
 * program sets it. With "resume" the TLS session of the previous connection
 * is offered to the next one.
 *
 *   starttls_smtp_client PORT MESSAGE_FILE COUNT CA_FILE [resume]
 *
 * Prints "<count> messages in <seconds> s: <rate> messages/s", then
 * "<n> resumed". */
#define _GNU_SOURCE
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "smtp_client_common.h"
#include "tls_client_common.h"

static void tls_command(SSL* ssl, const char* text, int expected) {
    tls_send_all(ssl, text, strlen(text));
    if (tls_read_reply(ssl) != expected)
        client_fail(text);
}

static void plain_command(int fd, const char* text, int expected) {
    client_send_all(fd, text, strlen(text));
    if (client_read_reply(fd) != expected)
        client_fail(text);
}

int main(int argc, char** argv) {
    client_name = "starttls_smtp_client";
    if (argc != 5 && argc != 6)
        client_fail("usage: starttls_smtp_client PORT MESSAGE_FILE COUNT CA_FILE [resume]");
    int port = atoi(argv[1]);
    int count = atoi(argv[3]);
    int resume = argc == 6 && strcmp(argv[5], "resume") == 0;
    size_t size;
    unsigned char* message = client_read_file(argv[2], &size, 3);
    memcpy(message + size, ".\r\n", 3);

    /* OpenSSL writes with write(): a peer that has gone must not kill us. */
    signal(SIGPIPE, SIG_IGN);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx || SSL_CTX_load_verify_locations(ctx, argv[4], NULL) != 1)
        client_fail("cannot load the CA file");
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, NULL);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);

    SSL_SESSION* session = NULL;
    int resumed = 0;
    struct timespec begin = client_now();
    for (int i = 0; i < count; i++) {
        int fd = client_connect(port);
        if (client_read_reply(fd) != 220)
            client_fail("greeting");
        plain_command(fd, client_ehlo(), 250);
        plain_command(fd, "STARTTLS\r\n", 220);
        SSL* ssl = SSL_new(ctx);
        SSL_set_fd(ssl, fd);
        SSL_set_tlsext_host_name(ssl, "localhost");
        SSL_set1_host(ssl, "localhost");
        if (session)
            SSL_set_session(ssl, session);
        if (SSL_connect(ssl) != 1 || SSL_get_verify_result(ssl) != X509_V_OK) {
            ERR_print_errors_fp(stderr);
            client_fail("handshake");
        }
        resumed += SSL_session_reused(ssl);
        tls_command(ssl, client_ehlo(), 250);
        tls_command(ssl, "Rset\r\n", 250);
        tls_command(ssl, "Mail from:<absender@example.org>\r\n", 250);
        tls_command(ssl, "RCPT to:<empfaenger@example.org>\r\n", 250);
        tls_command(ssl, "Data\r\n", 354);
        tls_send_all(ssl, message, size + 3);
        if (tls_read_reply(ssl) != 250)
            client_fail("end of data");
        tls_send_all(ssl, "Quit\r\n", 6);
        /* TLS 1.3 tickets came with the replies; keep the newest. */
        if (resume) {
            SSL_SESSION_free(session);
            session = SSL_get1_session(ssl);
        }
        SSL_shutdown(ssl);
        SSL_free(ssl);
        shutdown(fd, SHUT_WR);
        close(fd);
    }
    client_report(count, begin);
    printf("%d resumed\n", resumed);
    SSL_SESSION_free(session);
    SSL_CTX_free(ctx);
    free(message);
    return 0;
}
