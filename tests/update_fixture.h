// Shared ground of the update tests: a lab network on loopback, the window
// double attached to the test thread as the UI thread, and a clean table.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "lab/lab_network.h"
#include "tests/window_ops_recorder.h"

// Wine binds a loopback address other than 127.0.0.1 as the wildcard
// address, so the lab's endpoints differ by port only.
const char LabMasterAddress[] = "127.0.0.1";
const wchar_t LabMasterName[] = L"127.0.0.1";

// A server on 127.0.0.1 that answers with a host name and players.
LabServer AnsweringServer(int port, const std::string& hostName, int players = 0);

// The dotted address and port as the status line shows them.
std::wstring Endpoint(const LabServer& server);

class UpdateTest : public testing::Test {
protected:
    LabNetwork* lab = nullptr;

    void SetUp() override;
    void TearDown() override;

    // Serves the scenario with a master at LabMasterAddress.
    bool ServeLab(LabScenario scenario);

    // Presses Update and serves the UI thread until the update has ended.
    bool RunUpdate(DWORD timeoutMilliseconds = 30000);

    int RequestsTo(int serverIndex);
    int MasterRequests();
};

// Replaces the table by records for these servers, as a master list would.
void InstallTable(const std::vector<LabServer>& servers);
void ReleaseTable();

// Every call was carried out on the UI thread, and every offer came from a
// thread holding the TableLock.
void ExpectSoundWindowCalls();

// Status messages from the first one equal to `first` onwards.
std::vector<std::wstring> MessagesFrom(const std::wstring& first);
