// One datagram off a UDP socket.
#include "engine/datagram.h"

#include <mmsystem.h>

Datagram ReadDatagram(SOCKET socket, char* buffer, int bufferSize)
{
    Datagram read = {};
    int senderSize = sizeof(read.sender);
    int received = recvfrom(socket, buffer, bufferSize, 0, reinterpret_cast<sockaddr*>(&read.sender), &senderSize);
    read.arrivedAt = timeGetTime();
    if (received == SOCKET_ERROR)
        read.error = WSAGetLastError();
    else
        read.length = received;
    return read;
}

bool DatagramLost(int error)
{
    return error == WSAEMSGSIZE || error == WSAECONNRESET;
}
