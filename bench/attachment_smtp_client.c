/* The yardstick of the attachment benchmark: a small SMTP client in C that
 * takes the program's path for a message with one attachment. For every
 * message it base64-encodes the file into a temporary file (76-character
 * lines), opens a connection of its own, runs the program's dialogue
 * ("ehlo", "Rset", MAIL, RCPT, "Data"), sends the header block, copies the
 * temporary file out in 32 KiB writes, then the closing boundary and ".",
 * and says "Quit".
 *
 *   attachment_smtp_client PORT ATTACHMENT COUNT
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

enum { kBlock = 32768 };

static char reply[1 << 16];

static void fail(const char* what) {
    fprintf(stderr, "attachment_smtp_client: %s\n", what);
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

/* Base64 in lines of 76 characters (57 bytes), each ended by CR LF. */
static void encode_into(FILE* out, const unsigned char* data, size_t length) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    char line[80];
    for (size_t at = 0; at < length; at += 57) {
        size_t chunk = length - at < 57 ? length - at : 57, used = 0;
        for (size_t i = 0; i < chunk; i += 3) {
            unsigned a = data[at + i], b = i + 1 < chunk ? data[at + i + 1] : 0,
                     c = i + 2 < chunk ? data[at + i + 2] : 0;
            line[used++] = alphabet[a >> 2];
            line[used++] = alphabet[((a & 3) << 4) | (b >> 4)];
            line[used++] = i + 1 < chunk ? alphabet[((b & 15) << 2) | (c >> 6)] : '=';
            line[used++] = i + 2 < chunk ? alphabet[c & 63] : '=';
        }
        line[used++] = '\r';
        line[used++] = '\n';
        if (fwrite(line, 1, used, out) != used)
            fail("cannot write the temporary file");
    }
}

int main(int argc, char** argv) {
    if (argc != 4)
        fail("usage: attachment_smtp_client PORT ATTACHMENT COUNT");
    int port = atoi(argv[1]);
    int count = atoi(argv[3]);
    FILE* file = fopen(argv[2], "rb");
    if (!file)
        fail("cannot open the attachment");
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    unsigned char* attachment = malloc((size_t)size + 1);
    if (fread(attachment, 1, (size_t)size, file) != (size_t)size)
        fail("cannot read the attachment");
    fclose(file);

    static const char head[] =
        "From: \"Absender\" <absender@example.org>\r\nSubject: Preisliste\r\nTo: kunde1@example.org\r\n"
        "Content-Type: multipart/mixed; boundary=\"=_NextPart_2rfkindysadvnqw3nerasdf\";\r\n"
        "MIME-Version: 1.0\r\nDate: Tue, 8 Dec 2026 14:05:31 +0100\r\nX-Priority: 3\r\n"
        "X-Library: Sendrix\r\n\r\nThis is a multi-part message in MIME format\r\n\r\n"
        "--=_NextPart_2rfkindysadvnqw3nerasdf\r\nContent-Type: text/plain\r\n"
        "Content-Transfer-Encoding: 7bit\r\n\r\nSehr geehrte Frau M\xfcller1,\r\n\r\nanbei die "
        "Preise.\r\n\r\n"
        "--=_NextPart_2rfkindysadvnqw3nerasdf\r\nContent-Type: application/octet-stream;\r\n"
        "        name=\"anlage.bin\"\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment;\r\n        filename=\"anlage.bin\"\r\n\r\n";
    static const char tail[] = "\r\n--=_NextPart_2rfkindysadvnqw3nerasdf--\r\n.\r\n";

    char host[256] = "localhost", ehlo[300];
    gethostname(host, sizeof host - 1);
    snprintf(ehlo, sizeof ehlo, "ehlo %s\r\n", host);

    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)port);

    static char block[kBlock];
    struct timespec begin, end;
    clock_gettime(CLOCK_MONOTONIC, &begin);
    for (int i = 0; i < count; i++) {
        FILE* encoded = tmpfile();
        if (!encoded)
            fail("cannot create a temporary file");
        encode_into(encoded, attachment, (size_t)size);
        fflush(encoded);
        rewind(encoded);

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
        send_all(fd, head, sizeof head - 1);
        size_t n;
        while ((n = fread(block, 1, sizeof block, encoded)) > 0)
            send_all(fd, block, n);
        send_all(fd, tail, sizeof tail - 1);
        if (read_reply(fd) != 250)
            fail("end of data");
        send_all(fd, "Quit\r\n", 6);
        shutdown(fd, SHUT_WR);
        close(fd);
        fclose(encoded);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = (double)(end.tv_sec - begin.tv_sec) + (double)(end.tv_nsec - begin.tv_nsec) / 1e9;
    printf("%d messages in %.3f s: %.1f messages/s\n", count, seconds, count / seconds);
    free(attachment);
    return 0;
}
