// The lab's web server: lists of game servers, and the ways a web server
// can fail a browser, served over plain HTTP on a loopback port.
#pragma once

#include <string>
#include <vector>

struct LabWebPage {
    std::string path;  // "/list.txt"
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::string location;  // sent as the Location header when not empty
    // The body is sent a byte at a time this many milliseconds apart.
    int dripMilliseconds = 0;
    // The body is sent again and again, without end.
    bool endless = false;
};

struct LabWebServer;

// Serves the pages on 127.0.0.1:port, each connection on a thread of its
// own; a path it does not hold is a 404. Null with a reason on failure.
LabWebServer* StartLabWebServer(int port, const std::vector<LabWebPage>& pages, std::string* error);

// Closes every connection and waits for their threads.
void StopLabWebServer(LabWebServer* server);

// The requests served so far, by path, in arrival order, and when each
// arrived (the multimedia timer).
std::vector<std::string> LabWebRequests(LabWebServer* server);
std::vector<unsigned long> LabWebRequestTimes(LabWebServer* server);
