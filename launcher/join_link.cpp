// Join links.
#include "launcher/join_link.h"

#include <wchar.h>

#include "engine/status_text.h"
#include "settings/address_list.h"

namespace {

const wchar_t Scheme[] = L"quarrix://";
const int SchemeLength = sizeof(Scheme) / sizeof(Scheme[0]) - 1;

bool StartsWithFolded(const wchar_t* text, const wchar_t* start)
{
    return _wcsnicmp(text, start, lstrlenW(start)) == 0;
}

bool IsHostCharacter(wchar_t character)
{
    return (character >= L'a' && character <= L'z') || (character >= L'A' && character <= L'Z') ||
           (character >= L'0' && character <= L'9') || character == L'-' || character == L'.';
}

// Why a character cannot stand in a link, or null when it may.
const wchar_t* ForbiddenCharacter(wchar_t character)
{
    if (character <= L' ' || character == 0x7F)
        return L"A link cannot hold white space or control characters.";
    if (character == L'@')
        return L"A link never carries a user name or a password.";
    if (character == L'?' || character == L'#')
        return L"A link carries nothing after the server.";
    if (character == L'%')
        return L"A link cannot hold escaped characters (%).";
    if (character == L'"' || character == L'\'' || character == L'+' || character == L';' || character == L'[' ||
        character == L']' || character == L'\\' || character > 0x7E)
        return L"A link holds only a verb, a host name or IPv4 address, and a port.";
    return nullptr;
}

// The port after the colon: 1 to 65535, digits only.
bool ReadPort(const wchar_t* text, WORD* port)
{
    int value = 0;
    int digits = 0;
    for (; *text >= L'0' && *text <= L'9' && digits < 6; text++, digits++)
        value = value * 10 + (*text - L'0');
    if (digits == 0 || digits > 5 || *text != L'\0' || value < 1 || value > 65535)
        return false;
    *port = static_cast<WORD>(value);
    return true;
}

// "<host>[:<port>][/]" into the link.
const wchar_t* ReadServer(const wchar_t* server, JoinLink* link)
{
    wchar_t part[JoinLinkLimit + 1];
    lstrcpynW(part, server, JoinLinkLimit + 1);
    int length = lstrlenW(part);
    if (length > 0 && part[length - 1] == L'/')
        part[--length] = L'\0';
    wchar_t* colon = wcschr(part, L':');
    link->port = DefaultServerPort;
    if (colon != nullptr) {
        *colon = L'\0';
        if (!ReadPort(colon + 1, &link->port))
            return L"The port must be a number from 1 to 65535.";
    }
    int hostLength = lstrlenW(part);
    if (hostLength == 0 || hostLength > LinkHostSize - 1)
        return L"The server's name must have 1 to 253 characters.";
    for (const wchar_t* character = part; *character != L'\0'; character++) {
        if (!IsHostCharacter(*character))
            return L"A server's name holds only letters, digits, '-' and '.'.";
    }
    lstrcpynW(link->host, part, LinkHostSize);
    return nullptr;
}

}  // namespace

const wchar_t* ReadJoinLink(const wchar_t* text, bool bareAllowed, JoinLink* link)
{
    *link = {};
    if (lstrlenW(text) > JoinLinkLimit)
        return L"The link is longer than 300 characters.";
    for (const wchar_t* character = text; *character != L'\0'; character++) {
        const wchar_t* refusal = ForbiddenCharacter(*character);
        if (refusal != nullptr)
            return refusal;
    }
    if (!StartsWithFolded(text, Scheme)) {
        if (bareAllowed && wcschr(text, L'/') == nullptr)
            return ReadServer(text, link);
        return L"It is not a quarrix:// link.";
    }
    const wchar_t* verb = text + SchemeLength;
    if (StartsWithFolded(verb, L"connect/"))
        return ReadServer(verb + 8, link);
    if (StartsWithFolded(verb, L"spectate/")) {
        link->spectator = true;
        return ReadServer(verb + 9, link);
    }
    return L"A quarrix:// link either connects or spectates.";
}

void ShortenLink(const wchar_t* text, wchar_t* shown, int size)
{
    if (lstrlenW(text) < size) {
        lstrcpynW(shown, text, size);
        return;
    }
    lstrcpynW(shown, text, size - 3);
    lstrcatW(shown, L"...");
}

void FormatJoinLink(const wchar_t* address, wchar_t* link, int size)
{
    FormatText(link, size, L"%s%s%s", Scheme, L"connect/", address);
}
