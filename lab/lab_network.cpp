// The lab network: every endpoint is a UDP socket served through one I/O
// completion port, so thousands of servers cost two threads; delayed replies
// go through a scheduler thread.
#include <winsock2.h>

#include "lab/lab_network.h"

#include "lab/chaos.h"

#include <mmsystem.h>

#include <algorithm>

namespace {

const int RequestBufferSize = 2048;
const int OversizedReplySize = 6000;
// Below the ports the system hands out and the tools' labs take, so no lab
// that runs beside the tests ever serves one.
const int PhantomFirstPort = 29000;
// The tools' labs move every port by the same offset, the first of these at
// which every endpoint binds: clear of the test suite's ports, which stay as
// its scenarios say, and of the phantoms.
const int FirstFreeOffset = 10000;
const int FreeOffsetStep = 1000;
const DWORD StopDrainMilliseconds = 3000;
// A browser at full speed sends requests faster than one thread takes them
// off the port under Wine: requests that wait there would read as the
// servers' ping.
const int IoThreadCount = 2;
const char StatusRequestPrefix[] = "\xff\xff\xff\xffstatus";

struct Endpoint {
    OVERLAPPED overlapped;  // first, so a completion leads back to its endpoint
    SOCKET socket;
    int serverIndex;        // -1 - n for master n
    char buffer[RequestBufferSize];
    WSABUF wsaBuffer;
    sockaddr_in from;
    int fromLength;
    DWORD flags;
};

struct PendingReply {
    DWORD due;
    SOCKET socket;
    sockaddr_in to;
    std::string payload;
};

bool StartsWith(const char* data, int length, const char* prefix)
{
    int prefixLength = (int)strlen(prefix);
    return length >= prefixLength && memcmp(data, prefix, prefixLength) == 0;
}

bool MakeAddress(const std::string& address, int port, sockaddr_in* result)
{
    *result = {};
    result->sin_family = AF_INET;
    result->sin_port = htons(static_cast<u_short>(port));
    result->sin_addr.s_addr = inet_addr(address.c_str());
    return result->sin_addr.s_addr != INADDR_NONE && port >= 0 && port <= 65535;
}

}  // namespace

struct LabNetwork {
    LabScenario scenario;
    std::vector<Endpoint*> endpoints;
    std::vector<SOCKET> replySockets;  // per server: where its replies come from
    std::vector<SOCKET> extraSockets;  // the other ports of wrong-port servers
    HANDLE completionPort = nullptr;
    HANDLE ioThreads[IoThreadCount] = {};
    HANDLE schedulerThread = nullptr;
    HANDLE wakeScheduler = nullptr;
    volatile LONG stopping = 0;
    volatile LONG outstanding = 0;
    DWORD startedAt = 0;  // timeGetTime when it began to serve

    CRITICAL_SECTION lock;  // guards the request logs, the pending replies and `random`
    std::vector<LabRequests> serverRequests;
    std::vector<LabRequests> masterRequests;
    std::vector<PendingReply> pending;  // a min-heap on `due`
    std::mt19937 random;
};

namespace {

bool LaterDue(const PendingReply& left, const PendingReply& right)
{
    return (LONG)(left.due - right.due) > 0;
}

void SendReply(SOCKET socket, const sockaddr_in& to, const std::string& payload)
{
    sendto(socket, payload.data(), (int)payload.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

void ScheduleReply(LabNetwork* lab, SOCKET socket, const sockaddr_in& to, const std::string& payload, int delay)
{
    if (delay <= 0) {
        SendReply(socket, to, payload);
        return;
    }
    PendingReply reply = {timeGetTime() + delay, socket, to, payload};
    EnterCriticalSection(&lab->lock);
    // The scheduler sleeps until the earliest reply is due: it needs waking
    // only for a reply due sooner, so a flood of requests does not cost a
    // wake-up each.
    bool soonest = lab->pending.empty() || LaterDue(lab->pending.front(), reply);
    lab->pending.push_back(reply);
    std::push_heap(lab->pending.begin(), lab->pending.end(), LaterDue);
    LeaveCriticalSection(&lab->lock);
    if (soonest)
        SetEvent(lab->wakeScheduler);
}

// Sends the replies that are due; false when none was. `wait` is how long
// until the next falls due, INFINITE with none pending. The scheduler calls
// it, and so do the I/O threads after each request, so that replies falling
// due together are not all held behind one thread's sends.
bool SendDueReplies(LabNetwork* lab, DWORD* wait)
{
    std::vector<PendingReply> due;
    *wait = INFINITE;
    EnterCriticalSection(&lab->lock);
    DWORD now = timeGetTime();
    while (!lab->pending.empty()) {
        LONG remaining = (LONG)(lab->pending.front().due - now);
        if (remaining > 0) {
            *wait = remaining;
            break;
        }
        std::pop_heap(lab->pending.begin(), lab->pending.end(), LaterDue);
        due.push_back(lab->pending.back());
        lab->pending.pop_back();
    }
    LeaveCriticalSection(&lab->lock);
    for (const PendingReply& reply : due)
        SendReply(reply.socket, reply.to, reply.payload);
    return !due.empty();
}

DWORD WINAPI RunScheduler(LPVOID parameter)
{
    LabNetwork* lab = static_cast<LabNetwork*>(parameter);
    timeBeginPeriod(1);
    while (!lab->stopping) {
        DWORD wait;
        if (!SendDueReplies(lab, &wait))
            WaitForSingleObject(lab->wakeScheduler, wait);
    }
    timeEndPeriod(1);
    return 0;
}

int LogRequest(LabNetwork* lab, LabRequests* requests, const char* data, int length)
{
    EnterCriticalSection(&lab->lock);
    requests->arrivals.push_back(timeGetTime());
    requests->lastRequest.assign(data, length);
    int number = (int)requests->arrivals.size();
    LeaveCriticalSection(&lab->lock);
    return number;
}

// Turns a reply chaotic with the lab's one generator, which both I/O threads
// draw from; false when the reply is to be dropped.
bool ApplyChaos(LabNetwork* lab, bool (*chaos)(std::mt19937&, std::string*), std::string* reply)
{
    EnterCriticalSection(&lab->lock);
    bool sent = chaos(lab->random, reply);
    LeaveCriticalSection(&lab->lock);
    return sent;
}

const LabMaster& MasterOf(const LabScenario& scenario, int masterIndex)
{
    return masterIndex == 0 ? scenario.master : scenario.otherMasters[masterIndex - 1];
}

void AnswerMaster(LabNetwork* lab, Endpoint* endpoint, int length)
{
    int masterIndex = -1 - endpoint->serverIndex;
    const LabMaster& master = MasterOf(lab->scenario, masterIndex);
    int number = LogRequest(lab, &lab->masterRequests[masterIndex], endpoint->buffer, length);
    if (!StartsWith(endpoint->buffer, length, "query") || master.silent || number < master.answerFrom)
        return;
    std::string reply = BuildMasterReply(lab->scenario, master);
    if (master.chaos && !ApplyChaos(lab, ChaoticMasterReply, &reply))
        return;
    ScheduleReply(lab, endpoint->socket, endpoint->from, reply, master.replyDelay);
}

// A reply names 64 players at the most.
const size_t MostLabPlayers = 64;

// The server as it is now: the players that have left are gone, and those
// that joined are there.
LabServer PresentPlayers(const LabNetwork* lab, const LabServer& server)
{
    LabServer present = server;
    DWORD running = timeGetTime() - lab->startedAt;
    if (server.leaveEvery > 0) {
        size_t left = running / static_cast<DWORD>(server.leaveEvery);
        present.players.resize(left < server.players.size() ? server.players.size() - left : 0);
    }
    if (server.joinEvery > 0) {
        size_t joined = running / static_cast<DWORD>(server.joinEvery);
        for (size_t newcomer = 1; newcomer <= joined && present.players.size() < MostLabPlayers; newcomer++)
            present.players.push_back({0, 50, "Newcomer " + std::to_string(newcomer)});
    }
    return present;
}

void AnswerServer(LabNetwork* lab, Endpoint* endpoint, int length)
{
    const LabServer& server = lab->scenario.servers[endpoint->serverIndex];
    int number = LogRequest(lab, &lab->serverRequests[endpoint->serverIndex], endpoint->buffer, length);
    if (!StartsWith(endpoint->buffer, length, StatusRequestPrefix) || server.silent || number < server.answerFrom)
        return;
    std::string reply = server.hasRawReply ? server.rawReply : BuildStatusReply(PresentPlayers(lab, server));
    if (server.oversized && reply.size() < OversizedReplySize)
        reply.resize(OversizedReplySize, ' ');
    if (server.chaos && !ApplyChaos(lab, ChaoticStatusReply, &reply))
        return;
    SOCKET out = lab->replySockets[endpoint->serverIndex];
    for (int copy = server.twice ? 2 : 1; copy > 0; copy--)
        ScheduleReply(lab, out, endpoint->from, reply, server.replyDelay);
}

void PostReceive(LabNetwork* lab, Endpoint* endpoint)
{
    // A UDP receive can fail at once (an earlier reply found no listener);
    // a few more tries are enough to get one pending.
    for (int tries = 0; tries < 8 && !lab->stopping; tries++) {
        endpoint->overlapped = {};
        endpoint->fromLength = sizeof(endpoint->from);
        endpoint->flags = 0;
        InterlockedIncrement(&lab->outstanding);
        if (WSARecvFrom(endpoint->socket, &endpoint->wsaBuffer, 1, nullptr, &endpoint->flags,
                        reinterpret_cast<sockaddr*>(&endpoint->from), &endpoint->fromLength,
                        &endpoint->overlapped, nullptr) == 0 ||
            WSAGetLastError() == WSA_IO_PENDING)
            return;
        InterlockedDecrement(&lab->outstanding);
    }
}

DWORD WINAPI RunIo(LPVOID parameter)
{
    LabNetwork* lab = static_cast<LabNetwork*>(parameter);
    DWORD stopSeen = 0;
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        BOOL ok = GetQueuedCompletionStatus(lab->completionPort, &bytes, &key, &overlapped,
                                            lab->stopping ? 100 : INFINITE);
        if (lab->stopping) {
            // Closed sockets cancel their receives; wait for every one of
            // them before the endpoints may be freed.
            if (overlapped != nullptr)
                InterlockedDecrement(&lab->outstanding);
            if (stopSeen == 0)
                stopSeen = timeGetTime();
            // The other thread may have taken this one's wake-up: each
            // passes one on as it goes.
            if (lab->outstanding <= 0 || timeGetTime() - stopSeen > StopDrainMilliseconds) {
                PostQueuedCompletionStatus(lab->completionPort, 0, 0, nullptr);
                return 0;
            }
            continue;
        }
        if (overlapped == nullptr)
            continue;
        Endpoint* endpoint = reinterpret_cast<Endpoint*>(overlapped);
        InterlockedDecrement(&lab->outstanding);
        if (ok) {
            if (endpoint->serverIndex < 0)
                AnswerMaster(lab, endpoint, bytes);
            else
                AnswerServer(lab, endpoint, bytes);
            DWORD wait;
            SendDueReplies(lab, &wait);
        }
        PostReceive(lab, endpoint);
    }
}

SOCKET BoundSocket(const std::string& address, int port, DWORD flags, std::string* error)
{
    sockaddr_in local;
    if (!MakeAddress(address, port, &local)) {
        *error = "bad address " + address + ":" + std::to_string(port);
        return INVALID_SOCKET;
    }
    SOCKET socket = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, flags);
    if (socket == INVALID_SOCKET || bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        *error = "cannot bind " + address + ":" + std::to_string(port) + " (error " +
                 std::to_string(WSAGetLastError()) + ")";
        if (socket != INVALID_SOCKET)
            closesocket(socket);
        return INVALID_SOCKET;
    }
    return socket;
}

bool AddEndpoint(LabNetwork* lab, const std::string& address, int port, int serverIndex, std::string* error)
{
    SOCKET socket = BoundSocket(address, port, WSA_FLAG_OVERLAPPED, error);
    if (socket == INVALID_SOCKET)
        return false;
    Endpoint* endpoint = new Endpoint();
    endpoint->socket = socket;
    endpoint->serverIndex = serverIndex;
    endpoint->wsaBuffer = {RequestBufferSize, endpoint->buffer};
    lab->endpoints.push_back(endpoint);
    if (CreateIoCompletionPort(reinterpret_cast<HANDLE>(socket), lab->completionPort, 0, 0) == nullptr) {
        *error = "cannot attach " + address + ":" + std::to_string(port) + " to the completion port";
        return false;
    }
    return true;
}

bool OpenEndpoints(LabNetwork* lab, std::string* error)
{
    const LabScenario& scenario = lab->scenario;
    for (size_t index = 0; index < scenario.servers.size(); index++) {
        const LabServer& server = scenario.servers[index];
        if (!AddEndpoint(lab, server.address, server.port, (int)index, error))
            return false;
        SOCKET replySocket = lab->endpoints.back()->socket;
        if (server.wrongPort) {
            replySocket = BoundSocket(server.address, 0, 0, error);
            if (replySocket == INVALID_SOCKET)
                return false;
            lab->extraSockets.push_back(replySocket);
        }
        lab->replySockets.push_back(replySocket);
    }
    if (!scenario.hasMaster)
        return true;
    for (int index = 0; index <= (int)scenario.otherMasters.size(); index++) {
        const LabMaster& master = MasterOf(scenario, index);
        if (!AddEndpoint(lab, master.address, master.port, -1 - index, error))
            return false;
    }
    return true;
}

void CloseLab(LabNetwork* lab)
{
    lab->stopping = 1;
    for (Endpoint* endpoint : lab->endpoints)
        closesocket(endpoint->socket);
    for (SOCKET socket : lab->extraSockets)
        closesocket(socket);
    bool drained = lab->outstanding <= 0;
    for (HANDLE thread : lab->ioThreads) {
        if (thread != nullptr)
            PostQueuedCompletionStatus(lab->completionPort, 0, 0, nullptr);
    }
    for (HANDLE thread : lab->ioThreads) {
        if (thread != nullptr) {
            drained = WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0 && lab->outstanding <= 0;
            CloseHandle(thread);
        }
    }
    if (lab->schedulerThread != nullptr) {
        SetEvent(lab->wakeScheduler);
        WaitForSingleObject(lab->schedulerThread, INFINITE);
        CloseHandle(lab->schedulerThread);
    }
    // An endpoint whose receive never came back must outlive it.
    if (drained) {
        for (Endpoint* endpoint : lab->endpoints)
            delete endpoint;
    }
    if (lab->completionPort != nullptr)
        CloseHandle(lab->completionPort);
    if (lab->wakeScheduler != nullptr)
        CloseHandle(lab->wakeScheduler);
    DeleteCriticalSection(&lab->lock);
    delete lab;
    WSACleanup();
}

}  // namespace

std::string BuildStatusReply(const LabServer& server)
{
    std::string reply = "\xff\xff\xff\xffprint\n";
    for (const auto& pair : server.info)
        reply += "\\" + pair.first + "\\" + pair.second;
    reply += "\n";
    for (const LabPlayer& player : server.players)
        reply += std::to_string(player.score) + " " + std::to_string(player.ping) + " \"" + player.name + "\"\n";
    return reply;
}

namespace {

std::vector<int> NamedServers(const LabScenario& scenario, const LabMaster& master)
{
    if (!master.lists.empty())
        return master.lists;
    std::vector<int> named;
    for (int index = 0; index < (int)scenario.servers.size(); index++) {
        if (!scenario.servers[index].unlisted)
            named.push_back(index);
    }
    return named;
}

}  // namespace

std::string BuildMasterReply(const LabScenario& scenario, const LabMaster& master)
{
    std::string reply = master.header;
    for (int index : NamedServers(scenario, master)) {
        if (index < 0 || index >= (int)scenario.servers.size())
            continue;
        const LabServer& server = scenario.servers[index];
        sockaddr_in address;
        MakeAddress(server.address, server.port, &address);
        std::string entry(reinterpret_cast<const char*>(&address.sin_addr.s_addr), 4);
        entry += static_cast<char>(server.port >> 8);
        entry += static_cast<char>(server.port & 0xFF);
        reply += server.listedTwice ? entry + entry : entry;
    }
    for (int phantom = 0; phantom < master.phantomEntries; phantom++) {
        int port = PhantomFirstPort + phantom % (65536 - PhantomFirstPort);
        reply += std::string("\x7f\0\0\1", 4);
        reply += static_cast<char>(port >> 8);
        reply += static_cast<char>(port & 0xFF);
    }
    reply += std::string(master.trailingBytes, '\x7f');
    if (master.replyLength >= 0 && (size_t)master.replyLength < reply.size())
        reply.resize(master.replyLength);
    return reply;
}

LabNetwork* StartLab(const LabScenario& scenario, std::string* error)
{
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        *error = "cannot start Winsock";
        return nullptr;
    }
    LabNetwork* lab = new LabNetwork();
    InitializeCriticalSection(&lab->lock);
    lab->scenario = scenario;
    lab->random.seed(scenario.seed);
    lab->serverRequests.resize(scenario.servers.size());
    lab->masterRequests.resize(1 + scenario.otherMasters.size());
    lab->completionPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, IoThreadCount);
    lab->wakeScheduler = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (lab->completionPort == nullptr || lab->wakeScheduler == nullptr) {
        *error = "cannot create the completion port";
        CloseLab(lab);
        return nullptr;
    }
    if (!OpenEndpoints(lab, error)) {
        CloseLab(lab);
        return nullptr;
    }
    lab->startedAt = timeGetTime();
    for (Endpoint* endpoint : lab->endpoints)
        PostReceive(lab, endpoint);
    bool started = true;
    for (HANDLE& thread : lab->ioThreads) {
        thread = CreateThread(nullptr, 0, RunIo, lab, 0, nullptr);
        started = started && thread != nullptr;
    }
    lab->schedulerThread = CreateThread(nullptr, 0, RunScheduler, lab, 0, nullptr);
    if (!started || lab->schedulerThread == nullptr) {
        *error = "cannot start the lab's threads";
        CloseLab(lab);
        return nullptr;
    }
    return lab;
}

namespace {

LabScenario MovedScenario(LabScenario scenario, int offset)
{
    for (LabServer& server : scenario.servers)
        server.port += offset;
    scenario.master.port += offset;
    for (LabMaster& master : scenario.otherMasters)
        master.port += offset;
    return scenario;
}

int HighestPort(const LabScenario& scenario)
{
    int highest = scenario.hasMaster ? scenario.master.port : 0;
    for (const LabServer& server : scenario.servers)
        highest = std::max(highest, server.port);
    for (const LabMaster& master : scenario.otherMasters)
        highest = std::max(highest, master.port);
    return highest;
}

}  // namespace

LabNetwork* StartLabOnFreePorts(const LabScenario& scenario, int* offset, std::string* error)
{
    *error = "no free ports above the scenario's";
    for (int moved = FirstFreeOffset; HighestPort(scenario) + moved <= 65535; moved += FreeOffsetStep) {
        LabNetwork* lab = StartLab(MovedScenario(scenario, moved), error);
        if (lab != nullptr) {
            *offset = moved;
            return lab;
        }
    }
    return nullptr;
}

void StopLab(LabNetwork* lab)
{
    if (lab != nullptr)
        CloseLab(lab);
}

LabRequests LabServerRequests(LabNetwork* lab, int serverIndex)
{
    EnterCriticalSection(&lab->lock);
    LabRequests requests = lab->serverRequests[serverIndex];
    LeaveCriticalSection(&lab->lock);
    return requests;
}

LabRequests LabMasterRequests(LabNetwork* lab, int master)
{
    EnterCriticalSection(&lab->lock);
    LabRequests requests = lab->masterRequests[master];
    LeaveCriticalSection(&lab->lock);
    return requests;
}
