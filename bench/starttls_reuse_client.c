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
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static char reply[1 << 16];
static int fd = -1;
static SSL* ssl = NULL;

static void fail(const char* what) {
    fprintf(stderr, "starttls_reuse_client: %s\n", what);
    ERR_print_errors_fp(stderr);
    exit(1);
}

static void send_all(const char* data, size_t length) {
    size_t sent = 0;
    while (sent < length) {
        int n = ssl ? SSL_write(ssl, data + sent, (int)(length - sent))
                    : (int)send(fd, data + sent, length - sent, MSG_NOSIGNAL);
        if (n <= 0)
            fail("send failed");
        sent += (size_t)n;
    }
}

/* Reads one whole reply; returns its code. */
static int read_reply(void) {
    size_t used = 0;
    for (;;) {
        int n = ssl ? SSL_read(ssl, reply + used, (int)(sizeof reply - 1 - used))
                    : (int)recv(fd, reply + used, sizeof reply - 1 - used, 0);
        if (n <= 0)
            fail("connection closed");
        used += (size_t)n;
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

static void command(const char* text, int expected) {
    send_all(text, strlen(text));
    if (read_reply() != expected)
        fail(text);
}

int main(int argc, char** argv) {
    if (argc != 5)
        fail("usage: starttls_reuse_client PORT CA_FILE MESSAGE_FILE COUNT");
    int port = atoi(argv[1]);
    int count = atoi(argv[4]);
    FILE* file = fopen(argv[3], "rb");
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

    char host[256] = "localhost", ehlo[300];
    gethostname(host, sizeof host - 1);
    snprintf(ehlo, sizeof ehlo, "ehlo %s\r\n", host);

    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)port);

    struct timespec begin, end;
    clock_gettime(CLOCK_MONOTONIC, &begin);
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, NULL);
    if (SSL_CTX_load_verify_locations(context, argv[2], NULL) != 1)
        fail("cannot load the CA file");
    fd = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (connect(fd, (struct sockaddr*)&address, sizeof address) != 0)
        fail("connect failed");
    if (read_reply() != 220)
        fail("greeting");
    command(ehlo, 250);
    command("STARTTLS\r\n", 220);
    ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    SSL_set_tlsext_host_name(ssl, "localhost");
    SSL_set1_host(ssl, "localhost");
    if (SSL_connect(ssl) != 1)
        fail("TLS handshake");
    command(ehlo, 250);
    for (int i = 0; i < count; i++) {
        command("Rset\r\n", 250);
        command("Mail from:<absender@example.org>\r\n", 250);
        command("RCPT to:<empfaenger@example.org>\r\n", 250);
        command("Data\r\n", 354);
        send_all(message, (size_t)size + 3);
        if (read_reply() != 250)
            fail("end of data");
    }
    command("Quit\r\n", 221);
    SSL_shutdown(ssl);
    SSL_free(ssl);
    close(fd);
    SSL_CTX_free(context);
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = (double)(end.tv_sec - begin.tv_sec) + (double)(end.tv_nsec - begin.tv_nsec) / 1e9;
    printf("%d messages in %.3f s: %.1f messages/s\n", count, seconds, count / seconds);
    free(message);
    return 0;
}
