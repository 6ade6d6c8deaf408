/* A small, fast SMTP sink for the delivery benchmarks: one connection at a
 * time on 127.0.0.1, every command answered at once, message text thrown
 * away. Prints "PORT <n>" on standard output once it listens.
 *
 *   smtp_sink [port [CERT_FILE KEY_FILE]]   port 0 (default): the system picks one
 *
 * With a certificate and its key it offers STARTTLS (and AUTH PLAIN after
 * it), with OpenSSL's defaults for a server: TLS 1.3 with two session
 * tickets, so clients may resume. Then its sockets run with TCP_NODELAY, or
 * the tickets and the EHLO reply would wait ~40 ms for delayed
 * acknowledgements. It stops after 10 minutes at the latest, or when it
 * gets SIGTERM. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

/* The socket, and the TLS session over it once STARTTLS has run. */
struct link {
    int fd;
    SSL* ssl;
};

static int send_all(struct link* link, const char* text) {
    size_t length = strlen(text), sent = 0;
    while (sent < length) {
        size_t n = 0;
        if (link->ssl) {
            if (SSL_write_ex(link->ssl, text + sent, length - sent, &n) != 1)
                return -1;
        } else {
            ssize_t plain = send(link->fd, text + sent, length - sent, MSG_NOSIGNAL);
            if (plain <= 0)
                return -1;
            n = (size_t)plain;
        }
        sent += n;
    }
    return 0;
}

static ssize_t receive(struct link* link, char* buffer, size_t size) {
    if (link->ssl) {
        size_t n = 0;
        return SSL_read_ex(link->ssl, buffer, size, &n) == 1 ? (ssize_t)n : -1;
    }
    return recv(link->fd, buffer, size, 0);
}

/* Serves one connection until QUIT or the client's close; `tls` (null:
 * plain only) is the context STARTTLS runs with. */
static void serve(SSL_CTX* tls, struct link* link) {
    static char buffer[1 << 16];
    size_t used = 0;
    int in_data = 0;
    if (send_all(link, "220 sink.test ESMTP\r\n") != 0)
        return;
    for (;;) {
        ssize_t n = receive(link, buffer + used, sizeof buffer - used);
        if (n <= 0)
            return;
        used += (size_t)n;
        size_t start = 0;
        for (;;) {
            char* lf = memchr(buffer + start, '\n', used - start);
            if (!lf)
                break;
            size_t end = (size_t)(lf - buffer);
            char* line = buffer + start;
            size_t length = end - start;
            if (length > 0 && line[length - 1] == '\r')
                length--;
            start = end + 1;
            const char* reply = NULL;
            if (in_data) {
                if (length == 1 && line[0] == '.') {
                    in_data = 0;
                    reply = "250 2.0.0 Ok: queued\r\n";
                }
            } else if (length >= 4 && strncasecmp(line, "EHLO", 4) == 0) {
                reply = !tls ? "250-sink.test\r\n250-PIPELINING\r\n250 SIZE 10240000\r\n"
                        : link->ssl
                            ? "250-sink.test\r\n250-PIPELINING\r\n250-SIZE 10240000\r\n250 AUTH PLAIN\r\n"
                            : "250-sink.test\r\n250-PIPELINING\r\n250-SIZE 10240000\r\n250 STARTTLS\r\n";
            } else if (length >= 4 && strncasecmp(line, "HELO", 4) == 0) {
                reply = "250 sink.test\r\n";
            } else if (tls && !link->ssl && length == 8 && strncasecmp(line, "STARTTLS", 8) == 0) {
                if (send_all(link, "220 2.0.0 Ready to start TLS\r\n") != 0)
                    return;
                /* Nothing may follow the command in the clear. */
                if (start != used)
                    return;
                start = used = 0;
                link->ssl = SSL_new(tls);
                SSL_set_fd(link->ssl, link->fd);
                if (SSL_accept(link->ssl) != 1)
                    return;
                break;
            } else if (length >= 4 && strncasecmp(line, "DATA", 4) == 0) {
                in_data = 1;
                reply = "354 End data with <CR><LF>.<CR><LF>\r\n";
            } else if (length >= 4 && strncasecmp(line, "QUIT", 4) == 0) {
                send_all(link, "221 2.0.0 Bye\r\n");
                return;
            } else {
                reply = "250 2.0.0 Ok\r\n";
            }
            if (reply && send_all(link, reply) != 0)
                return;
        }
        /* Keep an unfinished line; a line longer than the buffer is dropped. */
        if (start < used)
            memmove(buffer, buffer + start, used - start);
        used -= start;
        if (used == sizeof buffer)
            used = 0;
    }
}

int main(int argc, char** argv) {
    if (argc != 1 && argc != 2 && argc != 4) {
        fprintf(stderr, "usage: smtp_sink [port [CERT_FILE KEY_FILE]]\n");
        return 2;
    }
    SSL_CTX* tls = NULL;
    if (argc == 4) {
        /* OpenSSL writes with write(): a client that has gone must not kill us. */
        signal(SIGPIPE, SIG_IGN);
        tls = SSL_CTX_new(TLS_server_method());
        if (!tls || SSL_CTX_use_certificate_chain_file(tls, argv[2]) != 1 ||
            SSL_CTX_use_PrivateKey_file(tls, argv[3], SSL_FILETYPE_PEM) != 1) {
            fprintf(stderr, "smtp_sink: cannot load the certificate or its key\n");
            return 1;
        }
    }
    int port = argc > 1 ? atoi(argv[1]) : 0;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)port);
    socklen_t length = sizeof address;
    if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 || listen(listener, 128) != 0 ||
        getsockname(listener, (struct sockaddr*)&address, &length) != 0) {
        perror("smtp_sink");
        return 1;
    }
    printf("PORT %d\n", ntohs(address.sin_port));
    fflush(stdout);
    alarm(600);
    for (;;) {
        struct link link = {accept(listener, NULL, NULL), NULL};
        if (link.fd < 0)
            continue;
        if (tls)
            setsockopt(link.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        serve(tls, &link);
        if (link.ssl) {
            SSL_shutdown(link.ssl);
            SSL_free(link.ssl);
        }
        close(link.fd);
    }
}
