// Classic drawing under Wine.
#include "ui/classic_drawing.h"

namespace {

typedef BOOL(WINAPI* UnhookFunction)();
typedef HRESULT(WINAPI* WindowThemeFunction)(HWND, const wchar_t*, const wchar_t*);

void* ModuleFunction(const wchar_t* module, const char* name)
{
    HMODULE loaded = GetModuleHandleW(module);
    return loaded != nullptr ? reinterpret_cast<void*>(GetProcAddress(loaded, name)) : nullptr;
}

bool RunsUnderWine()
{
    return ModuleFunction(L"ntdll.dll", "wine_get_version") != nullptr;
}

// Wine's styles draw the scroll bars through a hook in user32; without the
// hook user32 draws them itself.
void DrawScrollBarsClassic()
{
    UnhookFunction unhook = reinterpret_cast<UnhookFunction>(ModuleFunction(L"user32.dll", "UnregisterUserApiHook"));
    if (unhook != nullptr)
        unhook();
}

// A control asked for a class no style has finds no style, and draws classic.
void DrawControlClassic(HWND control)
{
    WindowThemeFunction setTheme =
        reinterpret_cast<WindowThemeFunction>(ModuleFunction(L"uxtheme.dll", "SetWindowTheme"));
    if (setTheme != nullptr)
        setTheme(control, L" ", L" ");
}

}  // namespace

void DrawClassicUnderWine(HWND statusBar)
{
    if (!RunsUnderWine())
        return;
    DrawScrollBarsClassic();
    if (statusBar != nullptr)
        DrawControlClassic(statusBar);
}
