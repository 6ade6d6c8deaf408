#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>

#include "mail/id_socket_handle.h"

namespace sendrix::mail {
namespace {

bool descriptorOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

TEST(SocketHandle, ForgettingOrClosingASocketReleasesItsDescriptor) {
    for (const bool shutDownFirst : {false, true}) {
        SCOPED_TRACE(shutDownFirst ? "ShutdownAndClose, then Reset" : "Reset alone");
        TIdSocketHandle handle;
        ASSERT_TRUE(handle.Allocate());
        const int fd = handle.SocketHandle();
        ASSERT_TRUE(descriptorOpen(fd));
        if (shutDownFirst) {
            handle.ShutdownAndClose();
            EXPECT_FALSE(handle.SocketOpen());
        }
        handle.SetRemote("127.0.0.1", 25);
        handle.Reset(true);
        EXPECT_FALSE(handle.SocketOpen());
        EXPECT_FALSE(descriptorOpen(fd));
        EXPECT_EQ(handle.RemotePort(), 0);
    }
}

}  // namespace
}  // namespace sendrix::mail
