/* What the benchmarks' C clients share: the program's SMTP dialogue on one
 * connection to 127.0.0.1, each command waiting for its reply, and the
 * result line the benchmarks read. Every failure ends the client with a
 * message on standard error and exit status 1.
 *
 * A client's run: client_name = "..."; begin = client_now(); for each
 * message { fd = client_open_data(port); client_send_all(fd, ...);
 * client_end_data(fd); } client_report(count, begin); */
#ifndef SENDRIX_BENCH_SMTP_CLIENT_COMMON_H
#define SENDRIX_BENCH_SMTP_CLIENT_COMMON_H

#include <stddef.h>
#include <time.h>

/* The client's name in its error messages. */
extern const char* client_name;

void client_fail(const char* what);

/* Reads the whole file; *size gets its length. The buffer holds `spare`
 * bytes more for the caller to append; free() it. */
unsigned char* client_read_file(const char* path, size_t* size, size_t spare);

/* Writes all `length` bytes or fails. */
void client_send_all(int fd, const void* data, size_t length);

/* Reads one whole reply (the last line without "-" after its code) and
 * returns its code. */
int client_read_reply(int fd);

/* The code of the reply in text[0..used) once it is whole, else -1. */
int client_reply_code(const char* text, size_t used);

/* "ehlo <host name>\r\n" as the program says it. */
const char* client_ehlo(void);

/* Connects to 127.0.0.1:port without Nagle's rule; returns the socket. */
int client_connect(int port);

/* Connects to 127.0.0.1:port without Nagle's rule, awaits the greeting and runs "ehlo <host>",
 * "Rset", MAIL, RCPT and "Data" as the program does; returns the socket,
 * ready for the message text. */
int client_open_data(int port);

/* Awaits 250 for the message text (which ends in ".\r\n"), says "Quit",
 * and closes the socket. */
void client_end_data(int fd);

struct timespec client_now(void);

/* Prints "<count> messages in <seconds> s: <rate> messages/s". */
void client_report(int count, struct timespec begin);

#endif
