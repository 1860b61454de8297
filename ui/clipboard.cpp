// Text to the clipboard.
#include "ui/clipboard.h"

bool CopyTextToClipboard(HWND owner, const wchar_t* text)
{
    SIZE_T bytes = (lstrlenW(text) + 1) * sizeof(wchar_t);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (copy == nullptr)
        return false;
    CopyMemory(GlobalLock(copy), text, bytes);
    GlobalUnlock(copy);
    if (!OpenClipboard(owner)) {
        GlobalFree(copy);
        return false;
    }
    EmptyClipboard();
    // The clipboard owns the copy once it takes it.
    bool copied = SetClipboardData(CF_UNICODETEXT, copy) != nullptr;
    if (!copied)
        GlobalFree(copy);
    CloseClipboard();
    return copied;
}
