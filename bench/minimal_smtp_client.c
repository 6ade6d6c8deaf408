/* The yardstick of the delivery benchmark: a minimal SMTP client in C that
 * runs the same dialogue as the program ("ehlo", "Rset", MAIL, RCPT, "Data",
 * the text, ".", "Quit"), one connection per message, each command waiting
 * for its reply, the pre-rendered message text sent with one write.
 *
 *   minimal_smtp_client PORT MESSAGE_FILE COUNT
 *
 * Prints "<count> messages in <seconds> s: <rate> messages/s". */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static char reply[1 << 16];

static void fail(const char* what) {
    fprintf(stderr, "minimal_smtp_client: %s\n", what);
    exit(1);
}

static void send_all(int fd, const char* data, size_t length) {
    size_t sent = 0;
    while (sent < length) {
        ssize_t n = send(fd, data + sent, length - sent, MSG_NOSIGNAL);
        if (n <= 0)
            fail("send failed");
        sent += (size_t)n;
    }
}

/* Reads one whole reply; returns its code. */
static int read_reply(int fd) {
    size_t used = 0;
    for (;;) {
        ssize_t n = recv(fd, reply + used, sizeof reply - 1 - used, 0);
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

static void command(int fd, const char* text, int expected) {
    send_all(fd, text, strlen(text));
    if (read_reply(fd) != expected)
        fail(text);
}

int main(int argc, char** argv) {
    if (argc != 4)
        fail("usage: minimal_smtp_client PORT MESSAGE_FILE COUNT");
    int port = atoi(argv[1]);
    int count = atoi(argv[3]);
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
    for (int i = 0; i < count; i++) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(fd, (struct sockaddr*)&address, sizeof address) != 0)
            fail("connect failed");
        if (read_reply(fd) != 220)
            fail("greeting");
        command(fd, ehlo, 250);
        command(fd, "Rset\r\n", 250);
        command(fd, "Mail from:<absender@example.org>\r\n", 250);
        command(fd, "RCPT to:<empfaenger@example.org>\r\n", 250);
        command(fd, "Data\r\n", 354);
        send_all(fd, message, (size_t)size + 3);
        if (read_reply(fd) != 250)
            fail("end of data");
        send_all(fd, "Quit\r\n", 6);
        shutdown(fd, SHUT_WR);
        close(fd);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = (double)(end.tv_sec - begin.tv_sec) + (double)(end.tv_nsec - begin.tv_nsec) / 1e9;
    printf("%d messages in %.3f s: %.1f messages/s\n", count, seconds, count / seconds);
    free(message);
    return 0;
}
