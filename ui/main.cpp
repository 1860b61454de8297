// The application's entry.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "engine/server_table.h"
#include "launcher/join_link.h"
#include "settings/settings_store.h"
#include "ui/main_window.h"
#include "ui/running_copy.h"

namespace {

// The one argument the browser takes: a join link or a server's address,
// as the system passes a link (quoted or not). Any other command line is
// no link. One character more than a link may have, so a longer one is
// refused rather than cut.
void ReadLinkArgument(wchar_t link[JoinLinkLimit + 2])
{
    link[0] = L'\0';
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments != nullptr && count == 2)
        lstrcpynW(link, arguments[1], JoinLinkLimit + 2);
    LocalFree(arguments);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    wchar_t link[JoinLinkLimit + 2];
    ReadLinkArgument(link);
    // A second start changes nothing: the running browser comes forward,
    // and follows the link it was started with.
    if (!ClaimFirstCopy(link))
        return 0;
    InitializeCriticalSection(&TableLock);
    LocateLastList();
    return RunMainWindow(instance, link);
}
