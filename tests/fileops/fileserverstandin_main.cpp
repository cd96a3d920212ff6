// The stand-in file server run as another user: writes its port (16 bits), serves until
// standard input ends, then writes how many bytes it received (64 bits).
#include "common/FileServerStandIn.h"

#include <unistd.h>

int main()
{
    testenv::FileServerStandIn server;
    const quint16 port = server.port();
    if (::write(STDOUT_FILENO, &port, sizeof port) != sizeof port)
        return 1;
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    const qint64 received = server.receivedBytes();
    return ::write(STDOUT_FILENO, &received, sizeof received) == sizeof received ? 0 : 1;
}
