// Shared ground of the window tests.
#include <winsock2.h>

#include "tests/ui_test_support.h"

#include "engine/master_update.h"
#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "engine/window_ops.h"
#include "settings/settings.h"
#include "tests/message_pump.h"
#include "ui/main_window.h"
#include "ui/notification_icon.h"
#include "ui/player_list.h"
#include "ui/server_list.h"
#include "ui/status_bar.h"

#include <commctrl.h>

bool operator==(const RECT& left, const RECT& right)
{
    return EqualRect(&left, &right) != FALSE;
}

void PrintTo(const RECT& rect, std::ostream* out)
{
    *out << "{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}

RECT ChildRect(HWND window, int id)
{
    RECT rect = {};
    GetWindowRect(GetDlgItem(window, id), &rect);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[256];
    GetWindowTextW(window, text, 256);
    return text;
}

std::vector<std::wstring> CutLabels(HWND window)
{
    std::vector<std::wstring> cut;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    HDC context = GetDC(window);
    HGDIOBJ original = SelectObject(context, font);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = L"";
        GetClassNameW(child, className, 16);
        std::wstring text = WindowText(child);
        LONG kind = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
        bool checkBox = _wcsicmp(className, L"Button") == 0 && (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX);
        if ((_wcsicmp(className, L"Static") != 0 && !checkBox) || text.empty())
            continue;
        SIZE extent = {};
        GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &extent);
        if (checkBox)
            extent.cx += GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE);
        RECT client = {};
        GetClientRect(child, &client);
        if (extent.cx > client.right || extent.cy > client.bottom)
            cut.push_back(text);
    }
    SelectObject(context, original);
    ReleaseDC(window, context);
    return cut;
}

// Reads a name-or-ordinal field; ordinals come back as "#<number>".
std::wstring ReadNameOrOrdinal(const WORD** cursor)
{
    const WORD* position = *cursor;
    if (*position == 0xFFFF) {
        *cursor = position + 2;
        return L"#" + std::to_wstring(position[1]);
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(position));
    *cursor = position + text.size() + 1;
    return text;
}

const WORD* AlignToDword(const WORD* position)
{
    return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(position) + 3) & ~ULONG_PTR(3));
}

DialogTemplate ReadDialogTemplate(int id)
{
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    const WORD* data = static_cast<const WORD*>(LockResource(LoadResource(nullptr, resource)));
    DialogTemplate dialog = {};
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[1], 0xFFFF);
    const DWORD* header = reinterpret_cast<const DWORD*>(data + 2);
    dialog.exStyle = header[1];
    dialog.style = header[2];
    const WORD* cursor = reinterpret_cast<const WORD*>(header + 3);
    int controls = *cursor++;
    const short* box = reinterpret_cast<const short*>(cursor);
    dialog.rect = {box[0], box[1], box[2], box[3]};
    cursor += 4;
    dialog.menu = ReadNameOrOrdinal(&cursor);
    dialog.className = ReadNameOrOrdinal(&cursor);
    dialog.caption = ReadNameOrOrdinal(&cursor);
    dialog.pointSize = *cursor++;
    dialog.weight = *cursor++;
    dialog.italic = *reinterpret_cast<const BYTE*>(cursor);
    dialog.charset = *(reinterpret_cast<const BYTE*>(cursor) + 1);
    cursor++;
    dialog.font = ReadNameOrOrdinal(&cursor);
    for (int index = 0; index < controls; index++) {
        cursor = AlignToDword(cursor);
        const DWORD* item = reinterpret_cast<const DWORD*>(cursor);
        TemplateControl control = {};
        control.helpId = item[0];
        control.exStyle = item[1];
        control.style = item[2];
        const short* itemBox = reinterpret_cast<const short*>(item + 3);
        control.rect = {itemBox[0], itemBox[1], itemBox[2], itemBox[3]};
        control.id = static_cast<int>(*reinterpret_cast<const DWORD*>(itemBox + 4));
        cursor = reinterpret_cast<const WORD*>(itemBox + 6);
        control.className = ReadNameOrOrdinal(&cursor);
        control.text = ReadNameOrOrdinal(&cursor);
        WORD extra = *cursor++;
        cursor = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(cursor) + extra);
        dialog.controls.push_back(control);
    }
    return dialog;
}

void NotifyMainWindow(HWND list, int controlId, UINT code, int subItem)
{
    NMLISTVIEW notification = {};
    notification.hdr.hwndFrom = list;
    notification.hdr.idFrom = controlId;
    notification.hdr.code = code;
    notification.iSubItem = subItem;
    SendMessageW(MainWindow, WM_NOTIFY, controlId, reinterpret_cast<LPARAM>(&notification));
}

bool SameWindowClass(const std::wstring& templateClass, const wchar_t* className)
{
    static const wchar_t* const numbered[][2] = {{L"#128", L"Button"}, {L"#129", L"Edit"}, {L"#130", L"Static"}};
    for (const auto& standard : numbered) {
        if (templateClass == standard[0])
            return _wcsicmp(standard[1], className) == 0;
    }
    return _wcsicmp(templateClass.c_str(), className) == 0;
}

LabScenario AnsweringServers(int count, int replyDelay)
{
    LabScenario scenario;
    for (int index = 0; index < count; index++) {
        LabServer server;
        server.port = 27960 + index;
        server.info = {{"hostname", "server " + std::to_string(index)}, {"mapname", "q2dm1"}, {"maxclients", "8"}};
        server.players = {{index, 20, "player"}};
        server.replyDelay = replyDelay;
        scenario.servers.push_back(server);
    }
    return scenario;
}

std::vector<ShellCall> ShellCalls;

namespace {

BOOL WINAPI RecordShellCall(DWORD message, PNOTIFYICONDATAW data)
{
    ShellCalls.push_back({message, (data->uFlags & NIF_INFO) ? data->szInfo : L""});
    return TRUE;
}

}  // namespace

void ResetSettings()
{
    ZeroMemory(GamePath, sizeof(GamePath));
    ZeroMemory(GameExecutable, sizeof(GameExecutable));
    PacketsPerSecond = GoodPing = MediumPing = 0;
    MaximumPing = 0;
    ShowFull = ShowEmpty = SortOrder = PlayerViewDetails = 0;
    if (BuddyText != nullptr)
        HeapFree(GetProcessHeap(), 0, BuddyText);
    BuddyText = nullptr;
    ClearAddressList(&MasterServers);
    MasterServersChosen = false;
    ClearAddressList(&FavouriteServers);
    RefreshMinutes = KeepInNotificationArea = 0;
    WatchedServerCount = 0;
}

void SetBuddyText(const wchar_t* text)
{
    if (BuddyText != nullptr)
        HeapFree(GetProcessHeap(), 0, BuddyText);
    BuddyText = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (wcslen(text) + 1) * sizeof(wchar_t)));
    lstrcpyW(BuddyText, text);
    ParseBuddyList();
}

void MainWindowTest::SetUp()
{
    registry = new ScratchRegistry();
    ASSERT_TRUE(registry->Redirect()) << "the registry could not be pointed at a scratch key";
    ResetSettings();
    MasterHostName = L"127.0.0.1";
    PacketsPerSecond = 1000;
    NotifyShell = RecordShellCall;
    ShellCalls.clear();
}

void MainWindowTest::TearDown()
{
    if (UpdateBusy)
        SetEvent(AbortEvent);
    WaitForUpdate();
    if (MainWindow != nullptr && IsWindow(MainWindow))
        DestroyWindow(MainWindow);
    // A refresh stopped by the window's end must be gone before the next
    // window comes.
    PumpUntil([] { return !RefreshBusy; }, 5000);
    // Takes the quit message that the window posted on its way out.
    PumpFor(20);
    StopLab(lab);
    lab = nullptr;
    delete registry;
    registry = nullptr;
}

void MainWindowTest::ServeAgain(const LabScenario& scenario)
{
    StopLab(lab);
    lab = nullptr;
    ASSERT_TRUE(ServeLab(scenario));
}

HMENU OpenPopupMenu()
{
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    return menuWindow != nullptr && IsWindowVisible(menuWindow)
               ? reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0))
               : nullptr;
}

std::vector<std::wstring> ListedHosts()
{
    std::vector<std::wstring> hosts;
    for (int row = 0; row < VisibleServerCount; row++)
        hosts.push_back(CellText(ServerList, row, 0));
    return hosts;
}

bool MainWindowTest::ServeLab(LabScenario scenario)
{
    scenario.hasMaster = true;
    std::string error;
    lab = StartLab(scenario, &error);
    if (lab == nullptr)
        ADD_FAILURE() << error;
    return lab != nullptr;
}

HWND MainWindowTest::CreateWindowUnderTest()
{
    return CreateMainWindow(GetModuleHandleW(nullptr));
}

std::wstring StatusLine()
{
    wchar_t text[1100] = L"";
    if (IsWindow(StatusBar))
        SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

void MainWindowTest::WaitForUpdate()
{
    EXPECT_TRUE(PumpUntil([] { return !UpdateBusy; }, 20000, MainWindow))
        << "the update did not end; the status line reads: " << StatusLine();
}

ServerRecord AnsweredRecord(const wchar_t* hostName, int players, int maxClients, DWORD ping)
{
    ServerRecord record = {};
    record.address = inet_addr("192.0.2.7");
    record.port = 960;
    lstrcpynW(record.hostName, hostName, LongTextSize);
    lstrcpynW(record.mapName, L"q2dm1", LongTextSize);
    record.maxClients = maxClients;
    record.ping = ping;
    record.sentAt = 1;
    record.responded = 1;
    record.playerCount = players;
    for (int index = 0; index < players; index++) {
        wsprintfW(record.players[index].name, L"p%d", index);
        record.players[index].score = index;
        record.players[index].ping = 10 * index;
    }
    return record;
}

void ServerViewsTest::SetUp()
{
    MainWindowTest::SetUp();
    ASSERT_TRUE(ServeLab(LabScenario()));
    ASSERT_NE(CreateWindowUnderTest(), nullptr);
    WaitForUpdate();
}

void ServerViewsTest::ShowRecords(const std::vector<ServerRecord>& records)
{
    ResetServerViews();
    ServerTable.count = 0;
    if (ServerTable.records != nullptr)
        HeapFree(GetProcessHeap(), 0, ServerTable.records);
    ServerTable.records = static_cast<ServerRecord*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (records.size() + 1) * sizeof(ServerRecord)));
    for (size_t index = 0; index < records.size(); index++)
        ServerTable.records[index] = records[index];
    ServerTable.count = static_cast<LONG>(records.size());
    std::vector<int> indexes;
    for (int index = 0; index < ServerTable.count; index++)
        indexes.push_back(index);
    OfferServers(indexes.data(), ServerTable.count);
}

std::wstring CellText(HWND list, int row, int column)
{
    wchar_t text[600] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 600;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

int ServerViewsTest::CellImage(HWND list, int row, int column)
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iSubItem = column;
    item.iImage = -1;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

std::vector<LPARAM> ServerViewsTest::ListedRecords()
{
    std::vector<LPARAM> data;
    int rows = static_cast<int>(SendMessageW(ServerList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; row++)
        data.push_back(ServerRowRecord(row));
    return data;
}
