/* The STARTTLS sink of the connection-reuse benchmark: one connection at a
 * time on 127.0.0.1, every command answered at once, message text thrown
 * away; STARTTLS (RFC 3207) with the given certificate and key, TLS 1.2 or
 * newer, session tickets as OpenSSL gives them. TCP_NODELAY, so no reply
 * waits for a delayed acknowledgement. Prints "PORT <n>" once it listens.
 *
 *   starttls_smtp_sink CERT_FILE KEY_FILE
 *
 * It stops after 10 minutes at the latest, or when it gets SIGTERM. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

/* One connection: plain until STARTTLS, then through `ssl`. */
struct link {
    int fd;
    SSL* ssl;
};

static int write_all(struct link* l, const char* text) {
    size_t length = strlen(text), sent = 0;
    while (sent < length) {
        int n = l->ssl ? SSL_write(l->ssl, text + sent, (int)(length - sent))
                       : (int)send(l->fd, text + sent, length - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return -1;
        sent += (size_t)n;
    }
    return 0;
}

static int read_some(struct link* l, char* buffer, size_t room) {
    return l->ssl ? SSL_read(l->ssl, buffer, (int)room) : (int)recv(l->fd, buffer, room, 0);
}

static void serve(int fd, SSL_CTX* context) {
    static char buffer[1 << 16];
    struct link l = {fd, NULL};
    size_t used = 0;
    int in_data = 0;
    if (write_all(&l, "220 sink.test ESMTP\r\n") != 0)
        return;
    for (;;) {
        int n = read_some(&l, buffer + used, sizeof buffer - used);
        if (n <= 0)
            break;
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
                reply = l.ssl ? "250-sink.test\r\n250-PIPELINING\r\n250 SIZE 10240000\r\n"
                              : "250-sink.test\r\n250-PIPELINING\r\n250 STARTTLS\r\n";
            } else if (length == 8 && strncasecmp(line, "STARTTLS", 8) == 0 && !l.ssl) {
                if (write_all(&l, "220 2.0.0 Ready to start TLS\r\n") != 0)
                    goto done;
                /* RFC 3207 5: nothing the client sent before the handshake counts. */
                used = start = 0;
                l.ssl = SSL_new(context);
                SSL_set_fd(l.ssl, fd);
                if (SSL_accept(l.ssl) != 1)
                    goto done;
                break;
            } else if (length >= 4 && strncasecmp(line, "DATA", 4) == 0) {
                in_data = 1;
                reply = "354 End data with <CR><LF>.<CR><LF>\r\n";
            } else if (length >= 4 && strncasecmp(line, "QUIT", 4) == 0) {
                write_all(&l, "221 2.0.0 Bye\r\n");
                goto done;
            } else {
                reply = "250 2.0.0 Ok\r\n";
            }
            if (reply && write_all(&l, reply) != 0)
                goto done;
        }
        /* Keep an unfinished line; a line longer than the buffer is dropped. */
        if (start < used)
            memmove(buffer, buffer + start, used - start);
        used -= start;
        if (used == sizeof buffer)
            used = 0;
    }
done:
    if (l.ssl) {
        SSL_shutdown(l.ssl);
        SSL_free(l.ssl);
    }
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: starttls_smtp_sink CERT_FILE KEY_FILE\n");
        return 1;
    }
    /* OpenSSL writes with plain send(): a client gone before the sink's
     * close_notify must not end the sink. */
    signal(SIGPIPE, SIG_IGN);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(context, argv[1]) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, argv[2], SSL_FILETYPE_PEM) != 1) {
        ERR_print_errors_fp(stderr);
        return 1;
    }
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 || listen(listener, 128) != 0 ||
        getsockname(listener, (struct sockaddr*)&address, &length) != 0) {
        perror("starttls_smtp_sink");
        return 1;
    }
    printf("PORT %d\n", ntohs(address.sin_port));
    fflush(stdout);
    alarm(600);
    for (;;) {
        int fd = accept(listener, NULL, NULL);
        if (fd < 0)
            continue;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        serve(fd, context);
        close(fd);
    }
}
