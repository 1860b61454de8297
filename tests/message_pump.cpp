// Serving the test thread's messages.
#include "tests/message_pump.h"

#include <mmsystem.h>

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds, HWND dialog)
{
    DWORD start = timeGetTime();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (dialog != nullptr && IsWindow(dialog) && IsDialogMessageW(dialog, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        if (timeGetTime() - start > timeoutMilliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds, HWND dialog)
{
    PumpUntil([] { return false; }, milliseconds, dialog);
}

void PumpPending(HWND dialog)
{
    PumpUntil([] { return true; }, 0, dialog);
}
