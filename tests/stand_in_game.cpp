// A stand-in for Quake II: records the command line it was started with and
// its current directory in "launch.txt" beside itself, then exits. The record
// is written under another name first, so it appears whole.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\')
        length--;
    wchar_t record[MAX_PATH];
    lstrcpyW(path + length, L"launch.tmp");
    lstrcpyW(record, path);
    lstrcpyW(record + length, L"launch.txt");

    wchar_t directory[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, directory);
    const wchar_t* lines[] = {GetCommandLineW(), L"\n", directory, L"\n"};
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (const wchar_t* line : lines) {
        DWORD written;
        WriteFile(file, line, lstrlenW(line) * sizeof(wchar_t), &written, nullptr);
    }
    CloseHandle(file);
    MoveFileExW(path, record, MOVEFILE_REPLACE_EXISTING);
    return 0;
}
