// The application's entry.
#include <windows.h>
#include <commctrl.h>

#include "engine/server_table.h"
#include "settings/settings_store.h"
#include "ui/main_window.h"
#include "ui/running_copy.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    // A second start changes nothing: the running browser comes forward.
    if (!ClaimFirstCopy())
        return 0;
    InitializeCriticalSection(&TableLock);
    LocateLastList();
    return RunMainWindow(instance);
}
