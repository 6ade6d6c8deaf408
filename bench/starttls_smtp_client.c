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
 * Prints "<count> messages in <seconds> s: <rate> messages/s, <n> resumed". */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static char reply[1 << 16];

static void fail(const char* what) {
    fprintf(stderr, "starttls_smtp_client: %s\n", what);
    ERR_print_errors_fp(stderr);
    exit(1);
}

/* One connection: the socket, and the TLS session over it once started. */
struct link {
    int fd;
    SSL* ssl;
};

static void send_all(struct link* link, const char* data, size_t length) {
    size_t sent = 0;
    while (sent < length) {
        size_t n = 0;
        if (link->ssl) {
            if (SSL_write_ex(link->ssl, data + sent, length - sent, &n) != 1)
                fail("TLS write failed");
        } else {
            ssize_t plain = send(link->fd, data + sent, length - sent, MSG_NOSIGNAL);
            if (plain <= 0)
                fail("send failed");
            n = (size_t)plain;
        }
        sent += n;
    }
}

static size_t receive(struct link* link, char* buffer, size_t size) {
    if (link->ssl) {
        size_t n = 0;
        if (SSL_read_ex(link->ssl, buffer, size, &n) != 1)
            fail("TLS read failed");
        return n;
    }
    ssize_t n = recv(link->fd, buffer, size, 0);
    if (n <= 0)
        fail("connection closed");
    return (size_t)n;
}

/* Reads one whole reply; returns its code. */
static int read_reply(struct link* link) {
    size_t used = 0;
    for (;;) {
        used += receive(link, reply + used, sizeof reply - 1 - used);
        reply[used] = 0;
        /* Complete when the last full line has no "-" as its fourth
         * character ("250 ok", or a bare "250"). */
        if (reply[used - 1] != '\n')
            continue;
        char* line = reply + used - 1;
        while (line > reply && line[-1] != '\n')
            line--;
        if (reply + used - line < 5 || line[3] != '-')
            return atoi(line);
    }
}

static void command(struct link* link, const char* text, int expected) {
    send_all(link, text, strlen(text));
    if (read_reply(link) != expected)
        fail(text);
}

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6)
        fail("usage: starttls_smtp_client PORT MESSAGE_FILE COUNT CA_FILE [resume]");
    int port = atoi(argv[1]);
    int count = atoi(argv[3]);
    int resume = argc == 6 && strcmp(argv[5], "resume") == 0;
    FILE* file = fopen(argv[2], "rb");
    if (!file)
        fail("cannot open the message file");
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    char* message = malloc((size_t)size + 3);
    if (fread(message, 1, (size_t)size, file) != (size_t)size)
        fail("cannot read the message file");
    fclose(file);
    memcpy(message + size, ".\r\n", 3);

    /* OpenSSL writes with write(): a peer that has gone must not kill us. */
    signal(SIGPIPE, SIG_IGN);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx || SSL_CTX_load_verify_locations(ctx, argv[4], NULL) != 1)
        fail("cannot load the CA file");
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, NULL);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);

    char host[256] = "localhost", ehlo[300];
    gethostname(host, sizeof host - 1);
    snprintf(ehlo, sizeof ehlo, "ehlo %s\r\n", host);

    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)port);

    SSL_SESSION* session = NULL;
    int resumed = 0;
    struct timespec begin, end;
    clock_gettime(CLOCK_MONOTONIC, &begin);
    for (int i = 0; i < count; i++) {
        struct link link = {socket(AF_INET, SOCK_STREAM, 0), NULL};
        int on = 1;
        setsockopt(link.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (connect(link.fd, (struct sockaddr*)&address, sizeof address) != 0)
            fail("connect failed");
        if (read_reply(&link) != 220)
            fail("greeting");
        command(&link, ehlo, 250);
        command(&link, "STARTTLS\r\n", 220);
        SSL* ssl = SSL_new(ctx);
        SSL_set_fd(ssl, link.fd);
        SSL_set_tlsext_host_name(ssl, "localhost");
        SSL_set1_host(ssl, "localhost");
        if (session)
            SSL_set_session(ssl, session);
        if (SSL_connect(ssl) != 1 || SSL_get_verify_result(ssl) != X509_V_OK)
            fail("handshake");
        resumed += SSL_session_reused(ssl);
        link.ssl = ssl;
        command(&link, ehlo, 250);
        command(&link, "Rset\r\n", 250);
        command(&link, "Mail from:<absender@example.org>\r\n", 250);
        command(&link, "RCPT to:<empfaenger@example.org>\r\n", 250);
        command(&link, "Data\r\n", 354);
        send_all(&link, message, (size_t)size + 3);
        if (read_reply(&link) != 250)
            fail("end of data");
        send_all(&link, "Quit\r\n", 6);
        /* TLS 1.3 tickets came with the replies; keep the newest. */
        if (resume) {
            SSL_SESSION_free(session);
            session = SSL_get1_session(ssl);
        }
        SSL_shutdown(ssl);
        SSL_free(ssl);
        shutdown(link.fd, SHUT_WR);
        close(link.fd);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = (double)(end.tv_sec - begin.tv_sec) + (double)(end.tv_nsec - begin.tv_nsec) / 1e9;
    printf("%d messages in %.3f s: %.1f messages/s, %d resumed\n", count, seconds, count / seconds, resumed);
    SSL_SESSION_free(session);
    SSL_CTX_free(ctx);
    free(message);
    return 0;
}
