// The master list update and its worker thread.
#include "engine/master_update.h"

#include <winsock2.h>
#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "engine/key_set.h"
#include "engine/last_list.h"
#include "engine/local_network.h"
#include "engine/master_query.h"
#include "engine/server_refresh.h"
#include "engine/status_sweep.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "settings/settings.h"

HANDLE AbortEvent;
volatile LONG UpdateBusy;

namespace {

// The linked server's address (low half) and port (high half), in one value
// so that the worker never reads half of a change.
volatile LONG64 LinkedServer;

// Set once the worker is past its last look at the abort request: a press
// from then on must not disable the buttons that the worker's exit is about
// to return to idle.
volatile LONG UpdateEnding;

// What the update asks, copied on the UI thread as it starts: the player may
// change the favourites while it runs. The worker owns it until it ends.
struct UpdatePlan {
    bool builtInMaster;
    AddressList masters;
    AddressList favourites;  // their addresses and ports filled in as found
    bool searchLocalNetwork;
};

UpdatePlan Plan;

// Set once the player has been told that the kept list could not be saved,
// until a save works again.
bool UnsavedListTold;

bool AbortRequested()
{
    return WaitForSingleObject(AbortEvent, 0) == WAIT_OBJECT_0;
}

// Distinct servers in the order they are first added.
// The addresses and ports kept are in a set, so the duplicate check stays
// linear however long the list (records lie 6 KB apart: comparing them all
// was slow).
struct ServerMerge {
    ServerAddress* servers;
    int count;
    KeySet kept;
};

bool StartMerge(ServerMerge* merge, int capacity)
{
    *merge = {};
    merge->servers = static_cast<ServerAddress*>(malloc((capacity > 0 ? capacity : 1) * sizeof(ServerAddress)));
    return merge->servers != nullptr && ReserveKeys(&merge->kept, static_cast<DWORD>(capacity));
}

// Room for every entry was reserved at the start, so no key is refused.
void AddToMerge(ServerMerge* merge, DWORD address, WORD port, WORD favourite)
{
    SetKey server = {address, port};
    if (AddKey(&merge->kept, server) == 1)
        merge->servers[merge->count++] = {address, port, favourite};
}

void EndMerge(ServerMerge* merge)
{
    free(merge->servers);
    ReleaseKeys(&merge->kept);
    *merge = {};
}

int ReplyEntries(int length)
{
    return length > MasterHeaderSize ? (length - MasterHeaderSize) / MasterEntrySize : 0;
}

void AddReply(ServerMerge* merge, const unsigned char* reply, int length)
{
    for (int entry = 0; entry < ReplyEntries(length); entry++) {
        const unsigned char* bytes = reply + MasterHeaderSize + entry * MasterEntrySize;
        DWORD address;
        memcpy(&address, bytes, sizeof(address));
        AddToMerge(merge, address, static_cast<WORD>((bytes[4] << 8) | bytes[5]), 0);
    }
}

// The servers of every master that answered, in the order of the masters.
bool MergeMasterReplies(const MasterServer* masters, int count, ServerMerge* merge)
{
    int capacity = 0;
    for (int index = 0; index < count; index++)
        capacity += ReplyEntries(masters[index].replyLength);
    if (!StartMerge(merge, capacity))
        return false;
    for (int index = 0; index < count; index++) {
        if (masters[index].state == MasterAnswered)
            AddReply(merge, masters[index].reply, masters[index].replyLength);
    }
    return true;
}

// Looks up the favourites side by side, beside the masters.
NameLookup* LookUpFavourites()
{
    if (Plan.favourites.count == 0)
        return nullptr;
    NameLookup* lookup = CreateNameLookup(Plan.favourites.count);
    if (lookup == nullptr)
        return nullptr;
    for (int index = 0; index < Plan.favourites.count; index++) {
        AddressEntry* favourite = &Plan.favourites.entries[index];
        if (!SplitAddress(favourite->text, DefaultServerPort, lookup->names[index].host, &favourite->port))
            lookup->names[index].host[0] = '\0';
    }
    StartNameLookup(lookup);
    return lookup;
}

// Waits for the favourites' lookup until it ends, its time is up or Abort;
// false on Abort.
bool AwaitFavourites(NameLookup* lookup, DWORD startedAt)
{
    if (lookup == nullptr)
        return !AbortRequested();
    DWORD waited = timeGetTime() - startedAt;
    DWORD left = waited < NameLookupMilliseconds ? NameLookupMilliseconds - waited : 0;
    HANDLE handles[2] = {AbortEvent, lookup->done};
    return WaitForMultipleObjects(2, handles, FALSE, left) != WAIT_OBJECT_0;
}

// Notes where each favourite was found, and tells the window; returns how
// many were not found.
int CollectFavouriteAddresses(NameLookup* lookup)
{
    if (lookup == nullptr)
        return Plan.favourites.count;
    int unresolved = 0;
    for (int index = 0; index < Plan.favourites.count; index++) {
        AddressEntry* favourite = &Plan.favourites.entries[index];
        favourite->address = FoundAddress(lookup, index);
        if (favourite->address == 0)
            unresolved++;
    }
    NoteFavouriteAddresses(&Plan.favourites);
    return unresolved;
}

// " No response from a, b, c and 2 more.": the masters that did not answer,
// the first three by name.
void NameSilentMasters(const MasterServer* masters, int count, wchar_t* part, int partSize)
{
    const int NamedAtMost = 3;
    int silent = 0;
    FormatText(part, partSize, L" No response from");
    for (int index = 0; index < count; index++) {
        if (masters[index].state == MasterAnswered || silent++ >= NamedAtMost)
            continue;
        int length = lstrlenW(part);
        FormatText(part + length, partSize - length, silent > 1 ? L", %s" : L" %s", masters[index].name);
    }
    int length = lstrlenW(part);
    if (silent > NamedAtMost)
        FormatText(part + length, partSize - length, L" and %d more.", silent - NamedAtMost);
    else
        FormatText(part + length, partSize - length, L".");
}

// " 2 lines of http://... were not understood.", for each web list that
// had such lines.
void NameSkippedLines(const MasterServer* masters, int count, wchar_t* part, int partSize)
{
    part[0] = L'\0';
    for (int index = 0; index < count; index++) {
        const MasterServer& master = masters[index];
        if (master.state != MasterAnswered || master.web == nullptr || master.web->skippedLines == 0)
            continue;
        int length = lstrlenW(part);
        int lines = master.web->skippedLines;
        FormatText(part + length, partSize - length,
                   lines == 1 ? L" %d line of %s was not understood." : L" %d lines of %s were not understood.",
                   lines, master.name);
    }
}

// The closing line's addition: how the masters fared, whether the last list
// stood in for them or could not be saved, and which favourites could not be
// found.
void DescribeSources(const MasterServer* masters, int count, bool lastList, bool unsaved, int unresolved,
                     wchar_t* note)
{
    int answered = CountAnsweredMasters(masters, count);
    wchar_t part[StatusTextSize] = L"";
    if (count > 1 && answered == count)
        FormatText(part, StatusTextSize, L" %d of %d master servers answered.", answered, count);
    else if (count > 1)
        NameSilentMasters(masters, count, part, StatusTextSize);
    else if (count == 1 && answered == 0) {
        part[0] = L' ';
        DescribeMasterFailure(masters[0], part + 1, StatusTextSize - 1);
    }
    const wchar_t* lastListPart = L"";
    if (lastList && answered == 0)
        lastListPart = L" The last list was queried.";
    else if (lastList)
        lastListPart = count > 1 ? L" The masters named no server: the last list was queried."
                                 : L" The master named no server: the last list was queried.";
    wchar_t skippedPart[StatusTextSize];
    NameSkippedLines(masters, count, skippedPart, StatusTextSize);
    wchar_t favouritesPart[StatusTextSize] = L"";
    if (unresolved == 1) {
        for (int index = 0; index < Plan.favourites.count; index++) {
            if (Plan.favourites.entries[index].address == 0)
                FormatText(favouritesPart, StatusTextSize, L" Couldn't resolve favourite %s.",
                           Plan.favourites.entries[index].text);
        }
    } else if (unresolved > 1) {
        FormatText(favouritesPart, StatusTextSize, L" Couldn't resolve %d favourites.", unresolved);
    }
    const wchar_t* unsavedPart = L"";
    if (unsaved && !UnsavedListTold)
        unsavedPart = L" The list of servers could not be kept for the next time.";
    UnsavedListTold = unsaved;
    FormatText(note, StatusTextSize, L"%s%s%s%s%s", part, skippedPart, lastListPart, unsavedPart, favouritesPart);
}

// The table: the favourites that were found, a join link's server, then the
// masters' servers or the last list, each server once.
bool MergeTable(const ServerMerge& listed, ServerMerge* table)
{
    if (!StartMerge(table, Plan.favourites.count + 1 + listed.count))
        return false;
    for (int index = 0; index < Plan.favourites.count; index++) {
        const AddressEntry& favourite = Plan.favourites.entries[index];
        if (favourite.address != 0)
            AddToMerge(table, favourite.address, favourite.port, 1);
    }
    LONG64 linked = InterlockedCompareExchange64(&LinkedServer, 0, 0);
    if (linked != 0)
        AddToMerge(table, static_cast<DWORD>(linked), static_cast<WORD>(linked >> 32), 0);
    for (int index = 0; index < listed.count; index++)
        AddToMerge(table, listed.servers[index].address, listed.servers[index].port, 0);
    return true;
}

// `lastList` is the number of servers the last list gave, 0 when none.
void SweepTable(const ServerMerge& table, int lastList, const wchar_t* note, const SweepFeed* feed)
{
    // The count goes to 0 before the views are emptied: the reset's round
    // trip through the UI thread then ends any walk of the old table, and
    // no later one (a Full or Empty click) can list its records again.
    LONG previousCount = InterlockedExchange(&ServerTable.count, 0);
    ResetServerViews();
    if (!RebuildServerTable(table.servers, table.count, previousCount))
        return;
    if (lastList > 0)
        StatusMessage(L"Querying the last list of %d server%s...", lastList, lastList == 1 ? L"" : L"s");
    else
        StatusMessage(L"Querying servers...");
    RefreshCounts();
    StatusSweep(note, feed, Plan.searchLocalNetwork);
}

// The servers of every master that answered with a list, merged into the
// kept list: replacing it when every master gave one, else adding to it, so
// that the servers of a master that did not answer this time stay (as many
// as a load reads) with their count of unanswered sweeps; a server a master
// lists now starts afresh. Answers naming no server leave the kept list as
// it was. False when a list to keep could not be saved.
bool KeepMasterLists(const MasterServer* masters, int count)
{
    int entries = 0;
    bool everyMaster = true;
    for (int index = 0; index < count; index++) {
        if (masters[index].state == MasterAnswered)
            entries += ReplyEntries(masters[index].replyLength);
        else
            everyMaster = false;
    }
    if (entries == 0 || LastListPath[0] == L'\0')
        return true;
    KeptServer* kept = nullptr;
    int keptCount = everyMaster ? 0 : LoadLastList(&kept);
    ServerMerge merge = {};
    KeptServer* list = static_cast<KeptServer*>(malloc((entries + keptCount) * sizeof(KeptServer)));
    bool saved = false;
    if (list != nullptr && StartMerge(&merge, entries + keptCount)) {
        for (int index = 0; index < count; index++) {
            if (masters[index].state == MasterAnswered)
                AddReply(&merge, masters[index].reply, masters[index].replyLength);
        }
        for (int index = 0; index < merge.count; index++)
            list[index] = {merge.servers[index].address, merge.servers[index].port, 0};
        for (int index = 0; index < keptCount && merge.count < MaxLastListServers; index++) {
            int position = merge.count;
            AddToMerge(&merge, kept[index].address, kept[index].port, 0);
            if (merge.count > position)
                list[position] = kept[index];
        }
        saved = SaveLastList(list, merge.count < MaxLastListServers ? merge.count : MaxLastListServers);
    }
    EndMerge(&merge);
    free(list);
    free(kept);
    return saved;
}

// The masters still unheard as the sweep starts, heard while it runs; and
// the closing line's note, which says how every source fared.
struct LateMasters {
    MasterPhase* phase;
    bool taken[MaxMasterServers];  // the master's servers are in the table
    bool lastList;
    int unresolved;
    wchar_t note[StatusTextSize];
};

// The servers a master named that the sweep does not ask yet.
void AddMasterServers(const MasterServer& master)
{
    ServerMerge merge = {};
    if (StartMerge(&merge, ReplyEntries(master.replyLength))) {
        AddReply(&merge, master.reply, master.replyLength);
        AddSweepServers(merge.servers, merge.count);
    }
    EndMerge(&merge);
}

// Once every master is heard: their lists are kept, and the closing line's
// note says how every source fared.
void KeepListsAndWriteNote(LateMasters* late)
{
    bool unsaved = !KeepMasterLists(late->phase->masters, late->phase->count);
    DescribeSources(late->phase->masters, late->phase->count, late->lastList, unsaved, late->unresolved,
                    late->note);
    // Only the local network was asked, as on a first start without the
    // internet: the line says where the masters are set, as it always did.
    bool onlyLocal = CountAnsweredMasters(late->phase->masters, late->phase->count) == 0 && !late->lastList &&
                     late->unresolved == Plan.favourites.count;
    int length = lstrlenW(late->note);
    if (onlyLocal && late->phase->count > 0)
        FormatText(late->note + length, StatusTextSize - length, L" Check Master Servers in Config.");
}

// The sweep's feed: each master that answers late adds its servers; once
// all are heard, their lists are kept and the note is written.
DWORD WINAPI FeedLateMasters(LPVOID context)
{
    LateMasters* late = static_cast<LateMasters*>(context);
    MasterPhase* phase = late->phase;
    while (!MastersSettled(*phase) && AwaitMasterAnswer(phase)) {
        for (int index = 0; index < phase->count; index++) {
            if (phase->masters[index].state != MasterAnswered || late->taken[index])
                continue;
            late->taken[index] = true;
            AddMasterServers(phase->masters[index]);
        }
    }
    KeepListsAndWriteNote(late);
    return 0;
}

// The kept list, in place of masters that named no server.
void MergeLastList(ServerMerge* listed)
{
    KeptServer* kept = nullptr;
    int keptCount = LoadLastList(&kept);
    if (keptCount > 0 && StartMerge(listed, keptCount)) {
        for (int index = 0; index < keptCount; index++)
            AddToMerge(listed, kept[index].address, kept[index].port, 0);
    }
    free(kept);
}

// A single master's own failure line stays, as it always did; with nothing
// listed at all, as on a first start, it says where the masters are set.
void SayNoMasterAnswered(const MasterServer* masters, int count)
{
    const wchar_t* hint = ServerTable.count == 0 ? L" Check Master Servers in Config." : L"";
    wchar_t failure[StatusTextSize];
    if (count > 1)
        FormatText(failure, StatusTextSize, L"None of the %d master servers answered.", count);
    else if (hint[0] != L'\0')
        DescribeMasterFailure(masters[0], failure, StatusTextSize);
    else
        return;
    StatusMessage(L"%s%s", failure, hint);
}

// The servers an update found to ask besides the favourites: the lists the
// masters gave, or the last list in their place.
struct ListedServers {
    ServerMerge servers;
    bool lastList;  // the last list stood in
};

// The masters' lists, or, when they named no server, the last list; false
// when memory is short.
bool GatherListedServers(const MasterPhase& phase, ListedServers* listed)
{
    *listed = {};
    if (CountAnsweredMasters(phase.masters, phase.count) > 0 &&
        !MergeMasterReplies(phase.masters, phase.count, &listed->servers))
        return false;
    if (listed->servers.count == 0) {
        EndMerge(&listed->servers);
        MergeLastList(&listed->servers);
        listed->lastList = listed->servers.count > 0;
    }
    return true;
}

// Builds the table from the favourites found and the listed servers, and
// sweeps it; masters still unheard feed the sweep, and write the note once
// they are heard. False when memory is short.
bool SweepListedServers(MasterPhase* phase, const ListedServers& listed, int unresolved)
{
    ServerMerge table = {};
    bool merged = MergeTable(listed.servers, &table);
    if (merged) {
        LateMasters late = {phase, {}, listed.lastList, unresolved, L""};
        for (int index = 0; index < phase->count && index < MaxMasterServers; index++)
            late.taken[index] = phase->masters[index].state == MasterAnswered;
        bool settled = MastersSettled(*phase);
        if (settled)
            KeepListsAndWriteNote(&late);
        SweepFeed feed = {FeedLateMasters, &late};
        SweepTable(table, listed.lastList ? listed.servers.count : 0, late.note, settled ? nullptr : &feed);
        // An aborted sweep did not ask everyone: it tells nothing of silence.
        if (!AbortRequested())
            AgeLastList(ServerTable.records, ServerTable.count);
    }
    EndMerge(&table);
    return merged;
}

// Why no table is swept: Abort, memory, or nothing to ask at all.
void SayWhyNothingIsSwept(const MasterPhase& phase, bool anything, int servers)
{
    if (AbortRequested())
        StatusMessage(L"Aborted.");
    else if (anything)
        StatusMessage(L"Not enough memory for %d servers.", servers);
    else if (phase.count == 0)
        StatusMessage(L"No servers to query.");
    else
        SayNoMasterAnswered(phase.masters, phase.count);
}

// A LAN party's servers are worth a sweep even when nothing else is listed.
bool LocalNetworkToSearch()
{
    LocalNetwork networks[MaxLocalNetworks];
    return Plan.searchLocalNetwork && FindLocalNetworks(networks, MaxLocalNetworks) > 0;
}

// After the masters, or the first of several to name a server: the lists
// they gave (or the last list in their place) and the favourites make the
// table, which is swept. False when there is nothing to query or on Abort,
// and the previous table then stays.
bool BuildAndSweep(MasterPhase* phase, NameLookup* favourites, DWORD startedAt)
{
    if (!AwaitFavourites(favourites, startedAt)) {
        StatusMessage(L"Aborted.");
        return false;
    }
    ListedServers listed = {};
    if (!GatherListedServers(*phase, &listed)) {
        EndMerge(&listed.servers);
        StatusMessage(L"Not enough memory for the master lists.");
        return false;
    }
    int unresolved = CollectFavouriteAddresses(favourites);
    bool anything = CountAnsweredMasters(phase->masters, phase->count) > 0 || listed.lastList ||
                    unresolved < Plan.favourites.count || LocalNetworkToSearch();
    bool swept = anything && !AbortRequested() && SweepListedServers(phase, listed, unresolved);
    if (!swept) {
        // The lists the masters gave are kept even when nothing is swept.
        if (MastersSettled(*phase))
            KeepMasterLists(phase->masters, phase->count);
        SayWhyNothingIsSwept(*phase, anything, Plan.favourites.count + listed.servers.count);
    }
    EndMerge(&listed.servers);
    return swept;
}

// A master that names a server.
bool NamesAServer(const MasterPhase& phase)
{
    for (int index = 0; index < phase.count; index++) {
        if (phase.masters[index].state == MasterAnswered && ReplyEntries(phase.masters[index].replyLength) > 0)
            return true;
    }
    return false;
}

// With several masters the sweep starts as soon as one of them names a
// server: a silent one never holds it. False on Abort.
bool AwaitFirstList(MasterPhase* phase)
{
    bool going = true;
    while (going && !MastersSettled(*phase) && !(phase->count > 1 && NamesAServer(*phase)))
        going = AwaitMasterAnswer(phase);
    if (!going && phase->count > 1)
        StatusMessage(L"Aborted.");
    return going;
}

bool RunUpdate()
{
    int count = Plan.builtInMaster ? 1 : Plan.masters.count;
    MasterServer masters[MaxMasterServers];
    for (int index = 0; index < count; index++)
        PrepareMaster(&masters[index], Plan.builtInMaster ? MasterHostName : Plan.masters.entries[index].text);
    DWORD startedAt = timeGetTime();
    NameLookup* favourites = LookUpFavourites();
    MasterPhase phase = {masters, count, INVALID_SOCKET, nullptr, nullptr, startedAt};
    if (count > 0)
        OpenMasterPhase(&phase, masters, count, startedAt);
    bool done = AwaitFirstList(&phase) && BuildAndSweep(&phase, favourites, startedAt);
    CloseMasterPhase(&phase);
    ReleaseNameLookup(favourites);
    ReleaseMasters(masters, count);
    return done;
}

void EndUpdate()
{
    InterlockedExchange(&UpdateEnding, 1);
    SetUpdateButtons(UpdateButtonsIdle);
    ResetEvent(AbortEvent);
    InterlockedExchange(&UpdateBusy, 0);
}

void TakePlan()
{
    Plan.builtInMaster = !MasterServersChosen;
    Plan.searchLocalNetwork = SearchLocalNetwork != 0;
    CopyAddressList(&Plan.masters, MasterServers);
    if (Plan.masters.count > MaxMasterServers)
        Plan.masters.count = MaxMasterServers;
    CopyAddressList(&Plan.favourites, FavouriteServers);
    // Found afresh by every update.
    for (int index = 0; index < Plan.favourites.count; index++)
        Plan.favourites.entries[index].address = 0;
}

}  // namespace

DWORD WINAPI UpdateWorker(LPVOID)
{
    // A refresh asked to stop by the Update press ends before anything here
    // can touch the table.
    WaitForServerRefresh();
    DWORD exitCode = RunUpdate() ? 0 : 1;
    EndUpdate();
    return exitCode;
}

void StartOrAbortUpdate()
{
    if (UpdateBusy) {
        if (!UpdateEnding) {
            SetEvent(AbortEvent);
            SetUpdateButtons(UpdateButtonsAborting);
        }
        return;
    }
    CancelServerRefresh();
    SetUpdateButtons(UpdateButtonsBusy);
    TakePlan();
    UpdateEnding = 0;
    UpdateBusy = 1;
    HANDLE worker = CreateThread(nullptr, 0, UpdateWorker, nullptr, 0, nullptr);
    if (worker == nullptr) {
        // Nothing will end this update: return to idle at once.
        UpdateBusy = 0;
        SetUpdateButtons(UpdateButtonsIdle);
        StatusMessage(L"Couldn't start the update.");
        return;
    }
    CloseHandle(worker);
}

bool RebuildServerTable(const unsigned char* reply, int length, int previousCount)
{
    ServerMerge merge = {};
    bool rebuilt = StartMerge(&merge, ReplyEntries(length));
    if (rebuilt) {
        AddReply(&merge, reply, length);
        rebuilt = RebuildServerTable(merge.servers, merge.count, previousCount);
    } else {
        StatusMessage(L"Not enough memory for %d servers.", ReplyEntries(length));
    }
    EndMerge(&merge);
    return rebuilt;
}

// The count is 0, the lists are empty and no receiver runs, so no lock is
// needed; the order keeps every index check of the UI thread sound.
bool RebuildServerTable(const ServerAddress* servers, int count, int previousCount)
{
    if (ServerTable.records != nullptr) {
        ReleaseStatusInfo(ServerTable.records, previousCount);
        HeapFree(GetProcessHeap(), 0, ServerTable.records);
    }
    ServerTable.records = nullptr;
    ServerRecord* records = count > MaxTableServers ? nullptr : static_cast<ServerRecord*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (count > 0 ? count : 1) * sizeof(ServerRecord)));
    if (records == nullptr) {
        StatusMessage(L"Not enough memory for %d servers.", count);
        return false;
    }
    ServerTable.records = records;
    for (int index = 0; index < count; index++) {
        records[index].address = servers[index].address;
        records[index].port = servers[index].port;
        records[index].favourite = servers[index].favourite;
        InterlockedExchange(&ServerTable.count, index + 1);
    }
    return true;
}

void SetLinkedServer(DWORD address, WORD port)
{
    InterlockedExchange64(&LinkedServer, address != 0 ? static_cast<LONG64>(port) << 32 | address : 0);
}
