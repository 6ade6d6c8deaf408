#define _GNU_SOURCE
#include "smtp_client_common.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

const char* client_name = "smtp_client";

static char reply[1 << 16];

void client_fail(const char* what) {
    fprintf(stderr, "%s: %s\n", client_name, what);
    exit(1);
}

unsigned char* client_read_file(const char* path, size_t* size, size_t spare) {
    FILE* file = fopen(path, "rb");
    if (!file)
        client_fail("cannot open the input file");
    fseek(file, 0, SEEK_END);
    long length = ftell(file);
    fseek(file, 0, SEEK_SET);
    if (length < 0)
        client_fail("cannot size the input file");
    unsigned char* data = malloc((size_t)length + spare + 1);
    if (!data || fread(data, 1, (size_t)length, file) != (size_t)length)
        client_fail("cannot read the input file");
    fclose(file);
    *size = (size_t)length;
    return data;
}

void client_send_all(int fd, const void* data, size_t length) {
    const char* bytes = data;
    size_t sent = 0;
    while (sent < length) {
        ssize_t n = send(fd, bytes + sent, length - sent, MSG_NOSIGNAL);
        if (n <= 0)
            client_fail("send failed");
        sent += (size_t)n;
    }
}

int client_reply_code(const char* text, size_t used) {
    /* Complete when the last full line has no "-" as its fourth
     * character ("250 ok", or a bare "250"). */
    if (used == 0 || text[used - 1] != '\n')
        return -1;
    const char* line = text + used - 1;
    while (line > text && line[-1] != '\n')
        line--;
    if (text + used - line < 5 || line[3] != '-')
        return atoi(line);
    return -1;
}

int client_read_reply(int fd) {
    size_t used = 0;
    for (;;) {
        if (used == sizeof reply - 1)
            client_fail("reply too long");
        ssize_t n = recv(fd, reply + used, sizeof reply - 1 - used, 0);
        if (n <= 0)
            client_fail("connection closed");
        used += (size_t)n;
        reply[used] = 0;
        int code = client_reply_code(reply, used);
        if (code >= 0)
            return code;
    }
}

static void command(int fd, const char* text, int expected) {
    client_send_all(fd, text, strlen(text));
    if (client_read_reply(fd) != expected)
        client_fail(text);
}

const char* client_ehlo(void) {
    static char ehlo[300];
    if (!ehlo[0]) {
        char host[256] = "localhost";
        gethostname(host, sizeof host - 1);
        snprintf(ehlo, sizeof ehlo, "ehlo %s\r\n", host);
    }
    return ehlo;
}

int client_connect(int port) {
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)port);

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0)
        client_fail("connect failed");
    /* Without Nagle's rule: a short last write (the closing boundary and
     * ".") would otherwise wait for the acknowledgement of the block before
     * it, which the peer delays. */
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

int client_open_data(int port) {
    int fd = client_connect(port);
    if (client_read_reply(fd) != 220)
        client_fail("greeting");
    command(fd, client_ehlo(), 250);
    command(fd, "Rset\r\n", 250);
    command(fd, "Mail from:<absender@example.org>\r\n", 250);
    command(fd, "RCPT to:<empfaenger@example.org>\r\n", 250);
    command(fd, "Data\r\n", 354);
    return fd;
}

void client_end_data(int fd) {
    if (client_read_reply(fd) != 250)
        client_fail("end of data");
    client_send_all(fd, "Quit\r\n", 6);
    shutdown(fd, SHUT_WR);
    close(fd);
}

struct timespec client_now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

void client_report(int count, struct timespec begin) {
    struct timespec end = client_now();
    double seconds = (double)(end.tv_sec - begin.tv_sec) + (double)(end.tv_nsec - begin.tv_nsec) / 1e9;
    printf("%d messages in %.3f s: %.1f messages/s\n", count, seconds, count / seconds);
}
