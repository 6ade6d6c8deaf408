#include "tls_client_common.h"

#include "smtp_client_common.h"

void tls_send_all(SSL* ssl, const void* data, size_t length) {
    size_t n = 0;
    /* Without partial writes SSL_write_ex takes everything or fails. */
    if (SSL_write_ex(ssl, data, length, &n) != 1 || n != length)
        client_fail("TLS write failed");
}

int tls_read_reply(SSL* ssl) {
    static char reply[1 << 16];
    size_t used = 0;
    for (;;) {
        size_t n = 0;
        if (used == sizeof reply || SSL_read_ex(ssl, reply + used, sizeof reply - used, &n) != 1)
            client_fail("TLS read failed");
        used += n;
        int code = client_reply_code(reply, used);
        if (code >= 0)
            return code;
    }
}
