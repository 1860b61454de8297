// The lab's web server.
#include <winsock2.h>

#include "lab/web_list_server.h"

#include <mmsystem.h>
#include <string.h>

namespace {

const int RequestLimit = 8192;
const int EndlessChunk = 4096;

struct Connection {
    LabWebServer* server;
    SOCKET socket;
};

}  // namespace

struct LabWebServer {
    std::vector<LabWebPage> pages;
    SOCKET listener = INVALID_SOCKET;
    HANDLE acceptor = nullptr;
    HANDLE stopped = nullptr;  // manual reset: every connection ends
    CRITICAL_SECTION lock;
    std::vector<HANDLE> threads;
    std::vector<SOCKET> sockets;
    std::vector<std::string> requests;
    std::vector<unsigned long> requestTimes;
};

namespace {

bool Stopping(LabWebServer* server)
{
    return WaitForSingleObject(server->stopped, 0) == WAIT_OBJECT_0;
}

bool SendAll(SOCKET socket, const char* data, int length)
{
    while (length > 0) {
        int sent = send(socket, data, length, 0);
        if (sent <= 0)
            return false;
        data += sent;
        length -= sent;
    }
    return true;
}

// The path of the request line "GET <path> HTTP/1.1", once its headers
// have come in whole.
std::string ReadRequestPath(SOCKET socket)
{
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < RequestLimit) {
        int read = recv(socket, buffer, sizeof(buffer), 0);
        if (read <= 0)
            return "";
        request.append(buffer, read);
    }
    size_t start = request.find(' ');
    size_t end = start == std::string::npos ? std::string::npos : request.find(' ', start + 1);
    return end == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
}

const LabWebPage* FindPage(const LabWebServer* server, const std::string& path)
{
    for (const LabWebPage& page : server->pages) {
        if (page.path == path)
            return &page;
    }
    return nullptr;
}

void SendBody(LabWebServer* server, SOCKET socket, const LabWebPage& page)
{
    do {
        if (page.dripMilliseconds == 0) {
            std::string body = page.body;
            while (page.endless && body.size() < EndlessChunk)
                body += page.body;
            if (!SendAll(socket, body.data(), (int)body.size()))
                return;
            continue;
        }
        for (char byte : page.body) {
            if (WaitForSingleObject(server->stopped, page.dripMilliseconds) == WAIT_OBJECT_0 ||
                !SendAll(socket, &byte, 1))
                return;
        }
    } while (page.endless && !Stopping(server));
}

void Serve(LabWebServer* server, SOCKET socket)
{
    std::string path = ReadRequestPath(socket);
    EnterCriticalSection(&server->lock);
    server->requests.push_back(path);
    server->requestTimes.push_back(timeGetTime());
    LeaveCriticalSection(&server->lock);
    LabWebPage missing;
    missing.status = 404;
    missing.contentType = "text/html";
    missing.body = "<html><body>Not found</body></html>";
    const LabWebPage* page = FindPage(server, path);
    if (page == nullptr)
        page = &missing;
    std::string head = "HTTP/1.1 " + std::to_string(page->status) + " Lab\r\nContent-Type: " + page->contentType +
                       "\r\nConnection: close\r\n";
    if (!page->location.empty())
        head += "Location: " + page->location + "\r\n";
    if (!page->endless && page->dripMilliseconds == 0)
        head += "Content-Length: " + std::to_string(page->body.size()) + "\r\n";
    head += "\r\n";
    if (SendAll(socket, head.data(), (int)head.size()))
        SendBody(server, socket, *page);
    shutdown(socket, SD_SEND);
}

DWORD WINAPI RunConnection(LPVOID parameter)
{
    Connection* connection = static_cast<Connection*>(parameter);
    Serve(connection->server, connection->socket);
    delete connection;
    return 0;
}

DWORD WINAPI AcceptConnections(LPVOID parameter)
{
    LabWebServer* server = static_cast<LabWebServer*>(parameter);
    for (;;) {
        SOCKET socket = accept(server->listener, nullptr, nullptr);
        if (socket == INVALID_SOCKET)
            return 0;
        Connection* connection = new Connection{server, socket};
        EnterCriticalSection(&server->lock);
        HANDLE thread = Stopping(server) ? nullptr : CreateThread(nullptr, 0, RunConnection, connection, 0, nullptr);
        server->sockets.push_back(socket);
        if (thread != nullptr)
            server->threads.push_back(thread);
        LeaveCriticalSection(&server->lock);
        if (thread == nullptr)
            delete connection;
    }
}

}  // namespace

LabWebServer* StartLabWebServer(int port, const std::vector<LabWebPage>& pages, std::string* error)
{
    LabWebServer* server = new LabWebServer;
    server->pages = pages;
    InitializeCriticalSection(&server->lock);
    server->stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    server->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (server->listener == INVALID_SOCKET ||
        bind(server->listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(server->listener, SOMAXCONN) != 0 ||
        (server->acceptor = CreateThread(nullptr, 0, AcceptConnections, server, 0, nullptr)) == nullptr) {
        *error = "cannot serve the web lists on port " + std::to_string(port) + ": error " +
                 std::to_string(WSAGetLastError());
        StopLabWebServer(server);
        return nullptr;
    }
    return server;
}

void StopLabWebServer(LabWebServer* server)
{
    if (server == nullptr)
        return;
    SetEvent(server->stopped);
    if (server->listener != INVALID_SOCKET)
        closesocket(server->listener);
    if (server->acceptor != nullptr) {
        WaitForSingleObject(server->acceptor, INFINITE);
        CloseHandle(server->acceptor);
    }
    // Closing a connection's socket ends a send that waits on it.
    for (SOCKET socket : server->sockets)
        shutdown(socket, SD_BOTH);
    for (HANDLE thread : server->threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    for (SOCKET socket : server->sockets)
        closesocket(socket);
    CloseHandle(server->stopped);
    DeleteCriticalSection(&server->lock);
    delete server;
}

std::vector<std::string> LabWebRequests(LabWebServer* server)
{
    EnterCriticalSection(&server->lock);
    std::vector<std::string> requests = server->requests;
    LeaveCriticalSection(&server->lock);
    return requests;
}

std::vector<unsigned long> LabWebRequestTimes(LabWebServer* server)
{
    EnterCriticalSection(&server->lock);
    std::vector<unsigned long> times = server->requestTimes;
    LeaveCriticalSection(&server->lock);
    return times;
}
