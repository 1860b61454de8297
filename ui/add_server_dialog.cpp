// The "Add Server" dialog.
#include "ui/add_server_dialog.h"

#include "engine/name_lookup.h"
#include "engine/status_text.h"
#include "resources/resource.h"
#include "ui/favourites.h"
#include "ui/dialog_placement.h"
#include "ui/paint_pacer.h"

namespace {

// Posted by the lookup when it is done; lParam: the lookup.
const UINT WM_ADDRESS_LOOKED_UP = WM_APP + 1;
const wchar_t DialogCaption[] = L"Add Server";

// The address being added; one dialog is open at a time.
struct AddingServer {
    wchar_t text[TypedAddressSize];
    WORD port;
    DWORD address;
    NameLookup* lookup;  // while the name is looked up
};

AddingServer Adding;

void ReadAddressField(HWND dialog)
{
    wchar_t typed[TypedAddressSize + 1] = L"";
    GetDlgItemTextW(dialog, IDC_SERVER_ADDRESS, typed, TypedAddressSize + 1);
    const wchar_t* start = typed;
    while (*start == L' ' || *start == L'\t')
        start++;
    int length = lstrlenW(start);
    while (length > 0 && (start[length - 1] == L' ' || start[length - 1] == L'\t'))
        length--;
    // Too long for an address: cut to a text that cannot parse.
    lstrcpynW(Adding.text, start, (length < TypedAddressSize ? length : TypedAddressSize - 1) + 1);
    if (length >= TypedAddressSize)
        Adding.text[0] = L'?';
}

void ShowLookingUp(HWND dialog, bool lookingUp)
{
    EnableWindow(GetDlgItem(dialog, IDC_SERVER_ADDRESS), !lookingUp);
    EnableWindow(GetDlgItem(dialog, IDOK), !lookingUp);
    wchar_t status[StatusTextSize] = L"";
    if (lookingUp)
        FormatText(status, StatusTextSize, L"Looking up %s...", Adding.text);
    SetDlgItemTextW(dialog, IDC_ADD_SERVER_STATUS, status);
    if (!lookingUp)
        SetFocus(GetDlgItem(dialog, IDC_SERVER_ADDRESS));
}

void Complain(HWND dialog, const wchar_t* format)
{
    wchar_t text[StatusTextSize];
    FormatText(text, StatusTextSize, format, Adding.text);
    MessageBoxW(dialog, text, DialogCaption, MB_OK | MB_ICONEXCLAMATION);
}

void StartLookup(HWND dialog)
{
    if (Adding.lookup != nullptr)
        return;
    ReadAddressField(dialog);
    NameLookup* lookup = CreateNameLookup(1);
    if (lookup == nullptr)
        return;
    if (!SplitAddress(Adding.text, DefaultServerPort, lookup->names[0].host, &Adding.port)) {
        ReleaseNameLookup(lookup);
        Complain(dialog, L"\"%s\" is not a server address. Type a host name or an IPv4 address, followed by "
                         L"a colon and the port when it is not 27910.");
        return;
    }
    lookup->notify = dialog;
    lookup->message = WM_ADDRESS_LOOKED_UP;
    Adding.lookup = lookup;
    ShowLookingUp(dialog, true);
    StartNameLookup(lookup);
}

void TakeLookup(HWND dialog, const NameLookup* lookup)
{
    if (lookup == nullptr || lookup != Adding.lookup)
        return;
    bool found = lookup->names[0].found;
    Adding.address = lookup->names[0].address;
    ReleaseNameLookup(Adding.lookup);
    Adding.lookup = nullptr;
    if (found) {
        EndDialog(dialog, IDOK);
        return;
    }
    ShowLookingUp(dialog, false);
    Complain(dialog, L"Couldn't resolve %s.");
}

}  // namespace

void ShowAddServerDialog(HINSTANCE instance, HWND owner)
{
    PaintHeldChanges();
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ADD_SERVER), owner, AddServerDialogProc, 0) == IDOK)
        AddFavouriteServer(Adding.text, Adding.address, Adding.port);
}

INT_PTR CALLBACK AddServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        Adding = {};
        SendDlgItemMessageW(dialog, IDC_SERVER_ADDRESS, EM_LIMITTEXT, TypedAddressSize, 0);
        CentreOverOwner(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            StartLookup(dialog);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_ADDRESS_LOOKED_UP:
        TakeLookup(dialog, reinterpret_cast<const NameLookup*>(lParam));
        return TRUE;
    case WM_DESTROY:
        // A lookup still under way ends on its own; its message goes nowhere.
        ReleaseNameLookup(Adding.lookup);
        Adding.lookup = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
