// The master phase of an update.
#include <winsock2.h>

#include "engine/master_query.h"

#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "engine/datagram.h"
#include "engine/master_update.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"

namespace {

bool Single(const MasterPhase& phase)
{
    return phase.count == 1;
}

void GiveUp(MasterServer* master, MasterState state)
{
    master->state = state;
    wchar_t text[StatusTextSize];
    DescribeMasterFailure(*master, text, StatusTextSize);
    StatusMessage(L"%s", text);
}

// Sends "query"; false when Abort was found after it.
bool SendQuery(MasterPhase* phase, MasterServer* master)
{
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(master->port);
    destination.sin_addr.s_addr = master->address;
    master->sentAt = timeGetTime();
    master->state = MasterWaiting;
    if (sendto(phase->socket, "query", 5, 0, reinterpret_cast<const sockaddr*>(&destination),
               sizeof(destination)) == SOCKET_ERROR) {
        GiveUp(master, MasterFailed);
        return true;
    }
    if (WaitForSingleObject(AbortEvent, 0) != WAIT_OBJECT_0)
        return true;
    if (Single(*phase))
        GiveUp(master, MasterFailed);
    return false;
}

// How long the lookups may still take; 0 once their time is up.
DWORD LookupTimeLeft(const MasterPhase& phase)
{
    DWORD waited = timeGetTime() - phase.startedAt;
    return waited < NameLookupMilliseconds ? NameLookupMilliseconds - waited : 0;
}

// Masters whose lookup has ended are asked, or given up when not found; a
// name the name service has not answered within the bound is not found.
bool AskLookedUpMasters(MasterPhase* phase)
{
    bool timeUp = LookupTimeLeft(*phase) == 0;
    for (int index = 0; index < phase->count; index++) {
        MasterServer* master = &phase->masters[index];
        bool looking = master->lookup != nullptr && !NameLookupDone(master->lookup);
        if (master->state != MasterResolving || (looking && !timeUp))
            continue;
        if (looking || master->lookup == nullptr || !master->lookup->names[0].found) {
            GiveUp(master, MasterUnresolved);
            continue;
        }
        master->address = master->lookup->names[0].address;
        if (Single(*phase))
            StatusMessage(L"Querying %s...", master->name);
        if (!SendQuery(phase, master))
            return false;
    }
    return true;
}

// Masters whose two seconds are up are asked again, or given up after the
// third time.
bool RetryOverdueMasters(MasterPhase* phase)
{
    for (int index = 0; index < phase->count; index++) {
        MasterServer* master = &phase->masters[index];
        if (master->state != MasterWaiting || timeGetTime() - master->sentAt < MasterWaitMilliseconds)
            continue;
        master->attempts++;
        StatusMessage(L"Retrying %s (attempt %d)...", master->name, master->attempts);
        if (master->attempts >= MasterAttempts)
            GiveUp(master, MasterSilent);
        else if (!SendQuery(phase, master))
            return false;
    }
    return true;
}

// A fetched list is that master's answer; a fetch that failed its failure.
void TakeWebList(MasterServer* master)
{
    WebList* web = master->web;
    switch (web->outcome) {
    case WebListListed:
        master->reply = web->reply;
        master->replyLength = web->replyLength;
        web->reply = nullptr;
        master->state = MasterAnswered;
        break;
    case WebListUnresolved: GiveUp(master, MasterUnresolved); break;
    case WebListUnreachable: GiveUp(master, MasterSilent); break;
    default: GiveUp(master, MasterFailed); break;
    }
}

DWORD WebListTimeLeft(const MasterPhase& phase)
{
    DWORD waited = timeGetTime() - phase.startedAt;
    return waited < WebListWaitMilliseconds ? WebListWaitMilliseconds - waited : 0;
}

// Web lists whose fetch has ended are taken; one that takes longer than its
// bound is given up as silent, its fetch left to end by itself.
void TakeFetchedLists(MasterPhase* phase)
{
    for (int index = 0; index < phase->count; index++) {
        MasterServer* master = &phase->masters[index];
        if (master->state != MasterFetching)
            continue;
        if (master->web == nullptr)
            GiveUp(master, MasterFailed);
        else if (WebListDone(master->web))
            TakeWebList(master);
        else if (WebListTimeLeft(*phase) == 0)
            GiveUp(master, MasterSilent);
    }
}

MasterServer* SenderOf(MasterPhase* phase, const sockaddr_in& sender)
{
    for (int index = 0; index < phase->count; index++) {
        MasterServer* master = &phase->masters[index];
        if (master->state == MasterWaiting &&
            (Single(*phase) ||
             (master->address == sender.sin_addr.s_addr && master->port == ntohs(sender.sin_port))))
            return master;
    }
    return nullptr;
}

void TakeReply(MasterServer* master, const char* datagram, int length)
{
    // An answer that is no list, one too short for its header included, is
    // an error, so that the previous list stays.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(datagram);
    master->reply = IsMasterList(bytes, length) ? static_cast<unsigned char*>(malloc(length)) : nullptr;
    if (master->reply == nullptr) {
        GiveUp(master, MasterFailed);
        return;
    }
    memcpy(master->reply, datagram, length);
    master->replyLength = length;
    master->state = MasterAnswered;
}

void FailMasters(MasterPhase* phase, bool evenResolving)
{
    for (int index = 0; index < phase->count; index++) {
        MasterState state = phase->masters[index].state;
        if (state == MasterWaiting || (evenResolving && (state == MasterResolving || state == MasterFetching)))
            GiveUp(&phase->masters[index], MasterFailed);
    }
}

// Reads every datagram waiting. With one master a failed receive ends it, as
// of old; with several, a refused or oversized datagram names no master and
// is passed over.
void ReadReplies(MasterPhase* phase)
{
    for (;;) {
        Datagram read = ReadDatagram(phase->socket, phase->buffer, MasterReplyBufferSize);
        if (read.error == WSAEWOULDBLOCK)
            return;
        if (read.error != 0) {
            if (Single(*phase) || !DatagramLost(read.error)) {
                FailMasters(phase, false);
                return;
            }
            continue;
        }
        MasterServer* master = SenderOf(phase, read.sender);
        if (master != nullptr)
            TakeReply(master, phase->buffer, read.length);
    }
}

int CountAnswered(const MasterPhase& phase)
{
    return CountAnsweredMasters(phase.masters, phase.count);
}

// No master has answered since `answered` were counted, and not all have
// answered or given up.
bool StillWaiting(const MasterPhase& phase, int answered)
{
    return !MastersSettled(phase) && CountAnswered(phase) == answered;
}

// Abort ends the master phase at once. A single master fails as when Abort
// is found after its request.
bool AbortMasters(MasterPhase* phase)
{
    if (Single(*phase))
        GiveUp(&phase->masters[0], MasterFailed);
    return false;
}

// Waits for a datagram, a finished lookup, Abort or the next time-out; false
// on Abort.
bool AwaitMasters(MasterPhase* phase)
{
    HANDLE handles[2 + MaxMasterServers];
    DWORD handleCount = 0;
    handles[handleCount++] = phase->readable;
    handles[handleCount++] = AbortEvent;
    DWORD timeout = INFINITE;
    DWORD now = timeGetTime();
    for (int index = 0; index < phase->count && index < MaxMasterServers; index++) {
        const MasterServer& master = phase->masters[index];
        if (master.state == MasterResolving && master.lookup != nullptr) {
            handles[handleCount++] = master.lookup->done;
            DWORD left = LookupTimeLeft(*phase);
            timeout = left < timeout ? left : timeout;
        }
        if (master.state == MasterFetching && master.web != nullptr) {
            handles[handleCount++] = master.web->done;
            DWORD left = WebListTimeLeft(*phase);
            timeout = left < timeout ? left : timeout;
        }
        if (master.state == MasterWaiting) {
            DWORD waited = now - master.sentAt;
            DWORD left = waited < MasterWaitMilliseconds ? MasterWaitMilliseconds - waited : 0;
            timeout = left < timeout ? left : timeout;
        }
    }
    DWORD woken = WaitForMultipleObjects(handleCount, handles, FALSE, timeout);
    if (woken == WAIT_OBJECT_0 + 1)
        return AbortMasters(phase);
    if (woken == WAIT_OBJECT_0)
        ReadReplies(phase);
    else if (woken == WAIT_FAILED)
        // A wait that fails would fail again: nothing more can be heard.
        FailMasters(phase, true);
    return true;
}

}  // namespace

bool IsMasterList(const unsigned char* reply, int length)
{
    return length >= MasterHeaderSize && memcmp(reply, MasterListHeader, MasterHeaderSize) == 0;
}

int CountAnsweredMasters(const MasterServer* masters, int count)
{
    int answered = 0;
    for (int index = 0; index < count; index++)
        answered += masters[index].state == MasterAnswered;
    return answered;
}

bool MastersSettled(const MasterPhase& phase)
{
    for (int index = 0; index < phase.count; index++) {
        MasterState state = phase.masters[index].state;
        if (state == MasterResolving || state == MasterWaiting || state == MasterFetching)
            return false;
    }
    return true;
}

void PrepareMaster(MasterServer* master, const wchar_t* name)
{
    *master = {};
    master->name = name;
    if (IsWebListAddress(name)) {
        master->state = MasterFetching;
        master->web = StartWebList(name);
        return;
    }
    master->state = MasterResolving;
    master->lookup = CreateNameLookup(1);
    if (master->lookup == nullptr)
        return;
    if (lstrlenW(name) >= TypedAddressSize ||
        !SplitAddress(name, MasterPort, master->lookup->names[0].host, &master->port)) {
        // Never found: the status line says it could not be resolved.
        ReleaseNameLookup(master->lookup);
        master->lookup = nullptr;
        return;
    }
    StartNameLookup(master->lookup);
}

void OpenMasterPhase(MasterPhase* phase, MasterServer* masters, int count, DWORD startedAt)
{
    *phase = {masters, count, INVALID_SOCKET, nullptr, nullptr, startedAt};
    if (count == 1 && masters[0].state == MasterFetching)
        StatusMessage(L"Fetching %s...", masters[0].name);
    else if (count == 1)
        StatusMessage(L"Resolving %s...", masters[0].name);
    else
        StatusMessage(L"Querying %d master servers...", count);
    phase->buffer = static_cast<char*>(malloc(MasterReplyBufferSize));
    phase->readable = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    phase->socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    // A socket that cannot be made or watched fails every send, as of old.
    if (phase->socket != INVALID_SOCKET &&
        (phase->readable == nullptr || WSAEventSelect(phase->socket, phase->readable, FD_READ) != 0)) {
        closesocket(phase->socket);
        phase->socket = INVALID_SOCKET;
    }
    if (phase->buffer == nullptr || phase->readable == nullptr)
        FailMasters(phase, true);
}

bool AwaitMasterAnswer(MasterPhase* phase)
{
    int answered = CountAnswered(*phase);
    bool going = true;
    while (going && StillWaiting(*phase, answered)) {
        TakeFetchedLists(phase);
        going = AskLookedUpMasters(phase) && RetryOverdueMasters(phase);
        if (going && StillWaiting(*phase, answered))
            going = AwaitMasters(phase);
    }
    return going;
}

void CloseMasterPhase(MasterPhase* phase)
{
    if (phase->socket != INVALID_SOCKET)
        closesocket(phase->socket);
    if (phase->readable != nullptr)
        CloseHandle(phase->readable);
    free(phase->buffer);
    *phase = {};
}

void ReleaseMasters(MasterServer* masters, int count)
{
    for (int index = 0; index < count; index++) {
        free(masters[index].reply);
        ReleaseNameLookup(masters[index].lookup);
        ReleaseWebList(masters[index].web);
    }
}

namespace {

// Why a fetched list is no list, with the status the web server gave.
bool DescribeWebListFailure(const WebList& web, const wchar_t* name, wchar_t* text, int textSize)
{
    const wchar_t* reason = nullptr;
    switch (web.outcome) {
    case WebListHttpError: reason = L""; break;
    case WebListNotText: reason = L": not a list of servers"; break;
    case WebListTooManyRedirects: reason = L": too many redirects"; break;
    case WebListInsecureRedirect: reason = L": a redirect that is not followed"; break;
    default: return false;
    }
    FormatText(text, textSize, L"Error querying %s%s (HTTP %d).", name, reason, web.httpStatus);
    return true;
}

}  // namespace

void DescribeMasterFailure(const MasterServer& master, wchar_t* text, int textSize)
{
    if (master.state == MasterFailed && master.web != nullptr && WebListDone(master.web) &&
        DescribeWebListFailure(*master.web, master.name, text, textSize))
        return;
    switch (master.state) {
    case MasterUnresolved: FormatText(text, textSize, L"Couldn't resolve %s.", master.name); break;
    case MasterSilent: FormatText(text, textSize, L"No response from %s.", master.name); break;
    default: FormatText(text, textSize, L"Error querying %s.", master.name); break;
    }
}
