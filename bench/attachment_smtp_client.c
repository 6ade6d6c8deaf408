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
#include <stdio.h>
#include <stdlib.h>

#include "smtp_client_common.h"

enum { kBlock = 32768 };

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
            client_fail("cannot write the temporary file");
    }
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

    static char block[kBlock];
    struct timespec begin = client_now();
    for (int i = 0; i < count; i++) {
        FILE* encoded = tmpfile();
        if (!encoded)
            client_fail("cannot create a temporary file");
        encode_into(encoded, attachment, size);
        fflush(encoded);
        rewind(encoded);

        int fd = client_open_data(port);
        client_send_all(fd, head, sizeof head - 1);
        size_t n;
        while ((n = fread(block, 1, sizeof block, encoded)) > 0)
            client_send_all(fd, block, n);
        client_send_all(fd, tail, sizeof tail - 1);
        client_end_data(fd);
        fclose(encoded);
    }
    client_report(count, begin);
    free(attachment);
    return 0;
}
