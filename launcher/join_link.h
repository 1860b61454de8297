// Join links, as chats and web pages share a server:
// "quarrix://connect/<host>[:<port>]" joins it, "quarrix://spectate/..."
// watches it. Any page may write one, so a link is read strictly: only the
// host and port it names are taken, and nothing of it reaches the game but
// the address they lead to.
#pragma once

#include <windows.h>

// A longer link is refused whole.
const int JoinLinkLimit = 300;
// A host name of at most 253 characters.
const int LinkHostSize = 254;

struct JoinLink {
    bool spectator;
    wchar_t host[LinkHostSize];  // a dotted IPv4 address or a host name
    WORD port;
};

// Reads a link: the scheme and the verb in any case, a dotted IPv4 address
// or a host name of letters, digits, '-' and '.', a port of 1 to 65535
// (27910 when left out) and at most a trailing '/'. With `bareAllowed`, a
// "<host>[:<port>]" alone is a link to connect as well. Null when the link
// is taken, else the sentence that says why it is refused.
const wchar_t* ReadJoinLink(const wchar_t* text, bool bareAllowed, JoinLink* link);

// The link as a box shows a refused one: cut to `size` with "..." at its end.
void ShortenLink(const wchar_t* text, wchar_t* shown, int size);

// "quarrix://connect/<address>", the link that shares a server.
void FormatJoinLink(const wchar_t* address, wchar_t* link, int size);
