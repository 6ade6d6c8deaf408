/* The yardstick of the delivery benchmark: a minimal SMTP client in C that
 * runs the same dialogue as the program ("ehlo", "Rset", MAIL, RCPT, "Data",
 * the text, ".", "Quit"), one connection per message, each command waiting
 * for its reply, the pre-rendered message text sent with one write.
 *
 *   minimal_smtp_client PORT MESSAGE_FILE COUNT
 *
 * Prints "<count> messages in <seconds> s: <rate> messages/s". */
#include <stdlib.h>
#include <string.h>

#include "smtp_client_common.h"

int main(int argc, char** argv) {
    client_name = "minimal_smtp_client";
    if (argc != 4)
        client_fail("usage: minimal_smtp_client PORT MESSAGE_FILE COUNT");
    int port = atoi(argv[1]);
    int count = atoi(argv[3]);
    size_t size;
    unsigned char* message = client_read_file(argv[2], &size, 3);
    memcpy(message + size, ".\r\n", 3);

    struct timespec begin = client_now();
    for (int i = 0; i < count; i++) {
        int fd = client_open_data(port);
        client_send_all(fd, message, size + 3);
        client_end_data(fd);
    }
    client_report(count, begin);
    free(message);
    return 0;
}
