// The application's entry.
#include <windows.h>
#include <commctrl.h>

#include "engine/server_table.h"
#include "settings/settings_store.h"
#include "ui/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    InitializeCriticalSection(&TableLock);
    LocateLastList();
    return RunMainWindow(instance);
}
