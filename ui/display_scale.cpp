// The display's scale.
#include "ui/display_scale.h"

UINT WindowDpi = BaseDpi;

namespace {

typedef UINT(WINAPI* DpiForWindowFunction)(HWND);
typedef int(WINAPI* MetricsForDpiFunction)(int, UINT);
typedef BOOL(WINAPI* DialogDpiBehaviourFunction)(HWND, int, int);

const int DialogScalingDisabled = 1;  // DDC_DISABLE_ALL

// Per-monitor scaling came with Windows 10; older systems have one DPI.
void* User32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? reinterpret_cast<void*>(GetProcAddress(user32, name)) : nullptr;
}

UINT SystemDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : BaseDpi;
}

}  // namespace

UINT DpiOfWindow(HWND window)
{
    DpiForWindowFunction dpiForWindow =
        reinterpret_cast<DpiForWindowFunction>(User32Function("GetDpiForWindow"));
    UINT dpi = dpiForWindow != nullptr ? dpiForWindow(window) : 0;
    return dpi != 0 ? dpi : SystemDpi();
}

int ScaleToDpi(int pixels, UINT dpi)
{
    return MulDiv(pixels, static_cast<int>(dpi), BaseDpi);
}

int MetricForDpi(int index, UINT dpi)
{
    MetricsForDpiFunction metricsForDpi =
        reinterpret_cast<MetricsForDpiFunction>(User32Function("GetSystemMetricsForDpi"));
    if (metricsForDpi != nullptr)
        return metricsForDpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

int PictureScale(UINT dpi)
{
    int scale = static_cast<int>((dpi + BaseDpi / 2) / BaseDpi);
    return scale > 1 ? scale : 1;
}

void KeepDialogScaling(HWND dialog)
{
    DialogDpiBehaviourFunction setBehaviour =
        reinterpret_cast<DialogDpiBehaviourFunction>(User32Function("SetDialogDpiChangeBehavior"));
    if (setBehaviour != nullptr)
        setBehaviour(dialog, DialogScalingDisabled, DialogScalingDisabled);
}
