/* The yardstick of the attachment benchmark: a small SMTP client in C that
 * takes the program's path for a message with one attachment. For every
 * message it opens a connection of its own, runs the program's dialogue
 * ("ehlo", "Rset", MAIL, RCPT, "Data"), sends the header block, base64-encodes
 * the file (76-character lines) straight out in writes of 420 lines
 * (32,760 bytes), then the closing boundary and ".", and says "Quit".
 *
 *   attachment_smtp_client PORT ATTACHMENT COUNT
 *
 * Prints "<count> messages in <seconds> s: <rate> messages/s". */
#include <stdio.h>
#include <stdlib.h>

#include "smtp_client_common.h"

enum { kLinesPerWrite = 420 };

/* Base64 in lines of 76 characters (57 bytes), each ended by CR LF, sent
 * kLinesPerWrite lines at a time. */
static void send_encoded(int fd, const unsigned char* data, size_t length) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    static char block[kLinesPerWrite * 78];
    size_t filled = 0;
    for (size_t at = 0; at < length; at += 57) {
        char* line = block + filled;
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
        filled += used;
        if (filled == sizeof block) {
            client_send_all(fd, block, filled);
            filled = 0;
        }
    }
    client_send_all(fd, block, filled);
}

int main(int argc, char** argv) {
    client_name = "attachment_smtp_client";
    if (argc != 4)
        client_fail("usage: attachment_smtp_client PORT ATTACHMENT COUNT");
    int port = atoi(argv[1]);
    int count = atoi(argv[3]);
    size_t size;
    unsigned char* attachment = client_read_file(argv[2], &size, 0);

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

    struct timespec begin = client_now();
    for (int i = 0; i < count; i++) {
        int fd = client_open_data(port);
        client_send_all(fd, head, sizeof head - 1);
        send_encoded(fd, attachment, size);
        client_send_all(fd, tail, sizeof tail - 1);
        client_end_data(fd);
    }
    client_report(count, begin);
    free(attachment);
    return 0;
}
