// What the clipboard holds as Unicode text.
#include "tests/clipboard_text.h"

#include <windows.h>

std::wstring ClipboardText()
{
    std::wstring copied;
    if (!OpenClipboard(nullptr))
        return copied;
    HANDLE text = GetClipboardData(CF_UNICODETEXT);
    if (text != nullptr) {
        copied = static_cast<const wchar_t*>(GlobalLock(text));
        GlobalUnlock(text);
    }
    CloseClipboard();
    return copied;
}
