// One datagram off a UDP socket, as the sweep, the refresh and the master
// query read them: with the time it arrived, taken the moment the read
// returns, and the sender.
#pragma once

#include <winsock2.h>

struct Datagram {
    int length;  // bytes read; 0 for an empty datagram
    int error;   // 0, or the Winsock error of a failed read
    DWORD arrivedAt;
    sockaddr_in sender;
};

// Reads the next datagram waiting on the socket into `buffer`.
Datagram ReadDatagram(SOCKET socket, char* buffer, int bufferSize);

// Whether a failed read lost one datagram (too large for the buffer, or a
// port-unreachable report) and others may still wait.
bool DatagramLost(int error);
