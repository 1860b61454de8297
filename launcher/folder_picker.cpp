// The folder picker.
#include "launcher/folder_picker.h"

#include <shlobj.h>

#include "engine/status_text.h"

namespace {

// With no folder known, the picker opens at the root of drive C, where games
// are installed, rather than at the desktop.
const wchar_t NoFolderStart[] = L"C:\\";

struct PickerState {
    const wchar_t* executable;
    const wchar_t* start;
};

// The picker's OK follows the selection: only a folder with the game will do.
void FollowSelection(HWND picker, LPCITEMIDLIST item, const PickerState& state)
{
    wchar_t folder[MAX_PATH] = L"";
    bool holds = SHGetPathFromIDListW(item, folder) && FolderHoldsGame(folder, state.executable);
    SendMessageW(picker, BFFM_ENABLEOK, 0, holds);
    // Wine's picker sets its OK itself once it has told of the selection:
    // the answer is given again after that.
    PostMessageW(picker, BFFM_ENABLEOK, 0, holds);
    wchar_t status[PathSize] = L"";
    if (!holds)
        FormatText(status, PathSize, L"%s is not in this folder.", state.executable);
    SendMessageW(picker, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(status));
}

int CALLBACK PickerEvent(HWND picker, UINT message, LPARAM parameter, LPARAM data)
{
    const PickerState& state = *reinterpret_cast<const PickerState*>(data);
    switch (message) {
    case BFFM_INITIALIZED:
        // Nothing is taken until a folder with the game is selected.
        SendMessageW(picker, BFFM_ENABLEOK, 0, FALSE);
        SendMessageW(picker, BFFM_SETSELECTIONW, TRUE,
                     reinterpret_cast<LPARAM>(state.start[0] != L'\0' ? state.start : NoFolderStart));
        return 0;
    case BFFM_SELCHANGED:
        FollowSelection(picker, reinterpret_cast<LPCITEMIDLIST>(parameter), state);
        return 0;
    default:
        return 0;
    }
}

}  // namespace

void JoinFolderPath(const wchar_t* folder, const wchar_t* name, wchar_t* path, int pathSize)
{
    int length = lstrlenW(folder);
    bool separated = length > 0 && folder[length - 1] == L'\\';
    FormatText(path, pathSize, separated ? L"%s%s" : L"%s\\%s", folder, name);
}

bool FolderHoldsGame(const wchar_t* folder, const wchar_t* executable)
{
    wchar_t path[PathSize + 1];
    JoinFolderPath(folder, executable, path, PathSize + 1);
    if (folder[0] == L'\0' || lstrlenW(path) >= PathSize)
        return false;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PickGameFolder(HWND owner, const wchar_t* executable, wchar_t folder[PathSize])
{
    wchar_t title[PathSize];
    FormatText(title, PathSize, L"Choose the folder that holds %s.", executable);
    PickerState state = {executable, folder};
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    browse.lpfn = PickerEvent;
    browse.lParam = reinterpret_cast<LPARAM>(&state);
    LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
    if (chosen == nullptr)
        return false;
    wchar_t path[MAX_PATH] = L"";
    bool picked = SHGetPathFromIDListW(chosen, path) && FolderHoldsGame(path, executable);
    CoTaskMemFree(chosen);
    if (!picked)
        return false;
    int length = lstrlenW(path);
    FormatText(folder, PathSize, length > 0 && path[length - 1] == L'\\' ? L"%s" : L"%s\\", path);
    return true;
}
