// The "Join Server" dialog.
#include "ui/join_dialog.h"

#include "engine/status_text.h"
#include "resources/resource.h"
#include "ui/dialog_placement.h"
#include "ui/paint_pacer.h"

namespace {

// Read with room for one more character than a password may have, so that
// a longer text is refused rather than cut.
const int FieldTextSize = GamePasswordSize + 1;
const int HostLineSize = 320;

// What the dialog asks, and what it answers.
struct JoinQuestion {
    const wchar_t* hostName;
    const wchar_t* server;
    PasswordKind kind;
    wchar_t* password;
};

void ShowQuestion(HWND dialog, const JoinQuestion& question)
{
    wchar_t line[HostLineSize];
    FormatText(line, HostLineSize, L"%s (%s)", question.hostName, question.server);
    SetDlgItemTextW(dialog, IDC_JOIN_HOST, line);
    if (question.kind == SpectatorPassword)
        SetDlgItemTextW(dialog, IDC_JOIN_PASSWORD_LABEL, L"&Spectator password");
    SendDlgItemMessageW(dialog, IDC_JOIN_PASSWORD, EM_LIMITTEXT, FieldTextSize - 1, 0);
    // A kept password the game can no longer take is not offered again.
    wchar_t kept[GamePasswordSize];
    if (RecallPassword(question.server, question.kind, kept) && PasswordRefusal(kept, question.kind) == nullptr) {
        SetDlgItemTextW(dialog, IDC_JOIN_PASSWORD, kept);
        CheckDlgButton(dialog, IDC_REMEMBER_PASSWORD, BST_CHECKED);
    }
    SecureZeroMemory(kept, sizeof(kept));
    CentreOverOwner(dialog);
}

// OK: a password the game can take ends the dialog, kept or forgotten as
// the box says; any other is refused, with the reason, and the dialog stays.
void TakePassword(HWND dialog, const JoinQuestion& question)
{
    wchar_t text[FieldTextSize] = L"";
    GetDlgItemTextW(dialog, IDC_JOIN_PASSWORD, text, FieldTextSize);
    const wchar_t* refusal = PasswordRefusal(text, question.kind);
    if (refusal != nullptr) {
        SetDlgItemTextW(dialog, IDC_JOIN_REFUSAL, refusal);
        MessageBeep(MB_ICONWARNING);
        SetFocus(GetDlgItem(dialog, IDC_JOIN_PASSWORD));
        SecureZeroMemory(text, sizeof(text));
        return;
    }
    if (IsDlgButtonChecked(dialog, IDC_REMEMBER_PASSWORD) == BST_CHECKED)
        KeepPassword(question.server, question.kind, text);
    else
        ForgetPassword(question.server, question.kind);
    lstrcpynW(question.password, text, GamePasswordSize);
    SecureZeroMemory(text, sizeof(text));
    EndDialog(dialog, IDOK);
}

}  // namespace

const wchar_t* PasswordRefusal(const wchar_t* text, PasswordKind kind)
{
    int length = lstrlenW(text);
    if (kind == SpectatorPassword && (length == 0 || lstrcmpW(text, L"0") == 0))
        return L"The game takes an empty spectator password, or \"0\", as none: type the server's.";
    if (length == 0)
        return L"Type the server's password.";
    if (length > GamePasswordSize - 1)
        return L"The game takes a password of at most 63 characters.";
    for (const wchar_t* character = text; *character != L'\0'; character++) {
        if (*character == L'"')
            return L"A password cannot hold a double quote (\").";
        if (*character == L'\\' || *character == L';')
            return L"The game cannot take a backslash (\\) or a semicolon (;) in a password.";
        if (*character == L' ')
            return L"The game splits its command line at spaces: a password cannot hold one.";
        if (*character == L'+')
            return L"The game reads a plus sign (+) as the start of a command: a password cannot hold one.";
        if (*character < L' ' || *character == 0x7F)
            return L"A password cannot hold control characters.";
        if (*character > 0x7E)
            return L"The game takes only plain ASCII letters, digits and signs in a password.";
    }
    return nullptr;
}

bool AskJoinPassword(HINSTANCE instance, HWND owner, const wchar_t* hostName, const wchar_t* server,
                     PasswordKind kind, wchar_t password[GamePasswordSize])
{
    password[0] = L'\0';
    JoinQuestion question = {hostName, server, kind, password};
    PaintHeldChanges();
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_JOIN_SERVER), owner, JoinDialogProc,
                           reinterpret_cast<LPARAM>(&question)) == IDOK;
}

INT_PTR CALLBACK JoinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        ShowQuestion(dialog, *reinterpret_cast<const JoinQuestion*>(lParam));
        return TRUE;
    case WM_COMMAND:
        // A refusal is of the text it was given: it goes as the text changes.
        if (LOWORD(wParam) == IDC_JOIN_PASSWORD && HIWORD(wParam) == EN_CHANGE)
            SetDlgItemTextW(dialog, IDC_JOIN_REFUSAL, L"");
        else if (LOWORD(wParam) == IDOK)
            TakePassword(dialog, *reinterpret_cast<const JoinQuestion*>(GetWindowLongPtrW(dialog, DWLP_USER)));
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
