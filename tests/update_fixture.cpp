// Shared ground of the update tests.
#include <winsock2.h>

#include "tests/update_fixture.h"

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "settings/settings.h"

LabServer AnsweringServer(int port, const std::string& hostName, int players)
{
    LabServer server;
    server.address = "127.0.0.1";
    server.port = port;
    server.info = {{"hostname", hostName}, {"mapname", "q2dm1"}, {"maxclients", "8"}};
    for (int player = 0; player < players; player++)
        server.players.push_back({player, 10 * player, "player" + std::to_string(player)});
    return server;
}

std::wstring Endpoint(const LabServer& server)
{
    return std::wstring(server.address.begin(), server.address.end()) + L":" + std::to_wstring(server.port);
}

void UpdateTest::SetUp()
{
    ReleaseTable();
    AttachWindowDouble();
    ClearWindowCalls();
    MasterHostName = LabMasterName;
    PacketsPerSecond = 1000;
}

void UpdateTest::TearDown()
{
    // An update must never outlive its test.
    if (UpdateBusy) {
        StartOrAbortUpdate();
        EXPECT_TRUE(PumpUntil([] { return !UpdateBusy; }, 30000));
    }
    StopLab(lab);
    lab = nullptr;
    DetachWindowDouble();
    ReleaseTable();
}

bool UpdateTest::ServeLab(LabScenario scenario)
{
    scenario.hasMaster = true;
    scenario.master.address = LabMasterAddress;
    std::string error;
    lab = StartLab(scenario, &error);
    if (lab == nullptr)
        ADD_FAILURE() << error;
    return lab != nullptr;
}

bool UpdateTest::RunUpdate(DWORD timeoutMilliseconds)
{
    StartOrAbortUpdate();
    return PumpUntil([] { return !UpdateBusy; }, timeoutMilliseconds);
}

int UpdateTest::RequestsTo(int serverIndex)
{
    return (int)LabServerRequests(lab, serverIndex).arrivals.size();
}

int UpdateTest::MasterRequests()
{
    return (int)LabMasterRequests(lab).arrivals.size();
}

void InstallTable(const std::vector<LabServer>& servers)
{
    ReleaseTable();
    ServerRecord* records = static_cast<ServerRecord*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (servers.size() + 1) * sizeof(ServerRecord)));
    for (size_t index = 0; index < servers.size(); index++) {
        records[index].address = inet_addr(servers[index].address.c_str());
        records[index].port = static_cast<WORD>(servers[index].port);
    }
    ServerTable.records = records;
    ServerTable.count = (LONG)servers.size();
}

void ReleaseTable()
{
    ServerTable.count = 0;
    if (ServerTable.records != nullptr)
        HeapFree(GetProcessHeap(), 0, ServerTable.records);
    ServerTable.records = nullptr;
}

void ExpectSoundWindowCalls()
{
    for (const WindowCall& call : RecordedWindowCalls()) {
        EXPECT_TRUE(call.onUiThread) << "call " << call.kind << " carried out off the UI thread";
        if (call.kind == CallOfferServer) {
            EXPECT_TRUE(call.lockHeld) << "offer made without the TableLock";
        }
    }
}

std::vector<std::wstring> MessagesFrom(const std::wstring& first)
{
    std::vector<std::wstring> messages = RecordedStatusMessages();
    for (size_t index = 0; index < messages.size(); index++) {
        if (messages[index] == first)
            return std::vector<std::wstring>(messages.begin() + index, messages.end());
    }
    return {};
}
