// The remembered join passwords.
#include "settings/password_store.h"

#include <wincrypt.h>

#include "engine/status_text.h"
#include "settings/settings_store.h"

namespace {

// An encrypted password is a few hundred bytes; a larger value is no password.
const DWORD StoredPasswordLimit = 4096;
const int ValueNameSize = 64;

// Mixed into the encryption, so that only this program's values decrypt.
const wchar_t EntropyText[] = L"Quarrix Server Browser join password";

void ValueName(const wchar_t* server, PasswordKind kind, wchar_t name[ValueNameSize])
{
    FormatText(name, ValueNameSize, kind == SpectatorPassword ? L"%s spectator" : L"%s", server);
}

bool OpenPasswords(REGSAM access, HKEY* key)
{
    wchar_t path[MAX_PATH];
    FormatText(path, MAX_PATH, L"%s\\Passwords", SettingsKeyName);
    if (access == KEY_READ)
        return RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key) == ERROR_SUCCESS;
    return RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key,
                           nullptr) == ERROR_SUCCESS;
}

DATA_BLOB Entropy()
{
    DATA_BLOB entropy = {sizeof(EntropyText), reinterpret_cast<BYTE*>(const_cast<wchar_t*>(EntropyText))};
    return entropy;
}

// Decrypts a stored value into the password; false for anything that is not
// a password this user kept.
bool Decrypt(BYTE* stored, DWORD size, wchar_t password[GamePasswordSize])
{
    DATA_BLOB sealed = {size, stored};
    DATA_BLOB entropy = Entropy();
    DATA_BLOB plain = {};
    if (!CryptUnprotectData(&sealed, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &plain))
        return false;
    int characters = static_cast<int>(plain.cbData / sizeof(wchar_t));
    bool usable = plain.cbData % sizeof(wchar_t) == 0 && characters < GamePasswordSize;
    if (usable) {
        CopyMemory(password, plain.pbData, plain.cbData);
        password[characters] = L'\0';
    }
    SecureZeroMemory(plain.pbData, plain.cbData);
    LocalFree(plain.pbData);
    return usable;
}

}  // namespace

bool RecallPassword(const wchar_t* server, PasswordKind kind, wchar_t password[GamePasswordSize])
{
    password[0] = L'\0';
    HKEY key;
    if (!OpenPasswords(KEY_READ, &key))
        return false;
    wchar_t name[ValueNameSize];
    ValueName(server, kind, name);
    BYTE stored[StoredPasswordLimit];
    DWORD size = sizeof(stored);
    DWORD type = REG_NONE;
    bool recalled = RegQueryValueExW(key, name, nullptr, &type, stored, &size) == ERROR_SUCCESS &&
                    type == REG_BINARY && Decrypt(stored, size, password);
    RegCloseKey(key);
    if (!recalled)
        password[0] = L'\0';
    return recalled;
}

bool KeepPassword(const wchar_t* server, PasswordKind kind, const wchar_t* password)
{
    DATA_BLOB plain = {static_cast<DWORD>(lstrlenW(password) * sizeof(wchar_t)),
                       reinterpret_cast<BYTE*>(const_cast<wchar_t*>(password))};
    DATA_BLOB entropy = Entropy();
    DATA_BLOB sealed = {};
    if (!CryptProtectData(&plain, L"Quarrix join password", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &sealed))
        return false;
    HKEY key;
    bool kept = false;
    if (OpenPasswords(KEY_WRITE, &key)) {
        wchar_t name[ValueNameSize];
        ValueName(server, kind, name);
        kept = RegSetValueExW(key, name, 0, REG_BINARY, sealed.pbData, sealed.cbData) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    LocalFree(sealed.pbData);
    return kept;
}

void ForgetPassword(const wchar_t* server, PasswordKind kind)
{
    HKEY key;
    if (!OpenPasswords(KEY_WRITE, &key))
        return;
    wchar_t name[ValueNameSize];
    ValueName(server, kind, name);
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

bool PasswordKept(const wchar_t* server)
{
    HKEY key;
    if (!OpenPasswords(KEY_READ, &key))
        return false;
    bool kept = false;
    const PasswordKind kinds[] = {PlayerPassword, SpectatorPassword};
    for (PasswordKind kind : kinds) {
        wchar_t name[ValueNameSize];
        ValueName(server, kind, name);
        kept = kept || RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return kept;
}
