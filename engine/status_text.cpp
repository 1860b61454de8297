// Status-line formatting.
#include "engine/status_text.h"

#include <stdio.h>

void FormatStatusText(wchar_t* buffer, int bufferSize, const wchar_t* format, va_list arguments)
{
    if (bufferSize <= 0)
        return;
    // _vsnwprintf keeps the Windows run-time's meaning of %s and %S, unlike
    // the C99 vswprintf, and leaves a cut text unterminated.
    _vsnwprintf(buffer, bufferSize - 1, format, arguments);
    buffer[bufferSize - 1] = L'\0';
}

void FormatText(wchar_t* buffer, int bufferSize, const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    FormatStatusText(buffer, bufferSize, format, arguments);
    va_end(arguments);
}
