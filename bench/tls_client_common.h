/* What the benchmarks' STARTTLS clients share once TLS is up: whole writes
 * and whole replies through one SSL connection. Failures end the client as
 * client_fail does. */
#ifndef SENDRIX_BENCH_TLS_CLIENT_COMMON_H
#define SENDRIX_BENCH_TLS_CLIENT_COMMON_H

#include <openssl/ssl.h>
#include <stddef.h>

/* Writes all `length` bytes through TLS or fails. */
void tls_send_all(SSL* ssl, const void* data, size_t length);

/* Reads one whole reply through TLS and returns its code. */
int tls_read_reply(SSL* ssl);

#endif
