/* A small, fast SMTP sink for the delivery benchmark: one connection at a
 * time on 127.0.0.1, every command answered at once, message text thrown
 * away. Prints "PORT <n>" on standard output once it listens.
 *
 *   smtp_sink [port]      port 0 (default): the system picks one
 *
 * It stops after 10 minutes at the latest, or when it gets SIGTERM. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

static int send_all(int fd, const char* text) {
    size_t length = strlen(text), sent = 0;
    while (sent < length) {
        ssize_t n = send(fd, text + sent, length - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return -1;
        sent += (size_t)n;
    }
    return 0;
}

/* Serves one connection until QUIT or the client's close. */
static void serve(int fd) {
    static char buffer[1 << 16];
    size_t used = 0;
    int in_data = 0;
    if (send_all(fd, "220 sink.test ESMTP\r\n") != 0)
        return;
    for (;;) {
        ssize_t n = recv(fd, buffer + used, sizeof buffer - used, 0);
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
                reply = "250-sink.test\r\n250-PIPELINING\r\n250 SIZE 10240000\r\n";
            } else if (length >= 4 && strncasecmp(line, "HELO", 4) == 0) {
                reply = "250 sink.test\r\n";
            } else if (length >= 4 && strncasecmp(line, "DATA", 4) == 0) {
                in_data = 1;
                reply = "354 End data with <CR><LF>.<CR><LF>\r\n";
            } else if (length >= 4 && strncasecmp(line, "QUIT", 4) == 0) {
                send_all(fd, "221 2.0.0 Bye\r\n");
                return;
            } else {
                reply = "250 2.0.0 Ok\r\n";
            }
            if (reply && send_all(fd, reply) != 0)
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
        int fd = accept(listener, NULL, NULL);
        if (fd < 0)
            continue;
        serve(fd);
        close(fd);
    }
}
