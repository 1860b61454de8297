// Lists of game servers published on the web as plain text: one
// "<host or address>[:<port>]" a line, "#" starting a comment. A master line
// may name one; it is fetched with the system's HTTP client on a thread of
// its own, and its servers take the form of a master's list, so that the
// rest of the update treats it as any master's answer.
#pragma once

#include <windows.h>

#include "settings/address_list.h"

// What a fetch may take.
const int WebListBodyLimit = 1 << 20;
const DWORD WebConnectMilliseconds = 5000;
const DWORD WebListMilliseconds = 10000;
const int WebRedirectLimit = 3;

// What a list may name: servers beyond these, and names beyond the first
// that are looked up, are passed over with the lines not understood.
const int MaxWebListServers = 65536;
const int MaxWebListNames = 64;

enum WebListOutcome {
    WebListFetching,
    WebListListed,
    WebListUnresolved,   // its host has no address
    WebListUnreachable,  // no answer within the bounds
    WebListHttpError,    // a status other than 200
    WebListNotText,      // an HTML page or a binary file
    WebListTooManyRedirects,
    WebListInsecureRedirect,  // from https to http, or to no web address
};

// One fetch, shared by the master that waits for it and its thread:
// whichever releases it last frees it.
struct WebList {
    volatile LONG references;
    volatile LONG abandoned;  // the master gave up waiting: stop early
    HANDLE done;              // manual reset, set once the outcome is final
    wchar_t url[TypedAddressSize];
    WebListOutcome outcome;
    int httpStatus;  // of the last response, 0 when none came
    // Once listed: the servers as a master's reply (on the C heap), and how
    // many lines were not understood.
    unsigned char* reply;
    int replyLength;
    int skippedLines;
};

// Starts fetching; null when memory or a thread is short.
WebList* StartWebList(const wchar_t* url);

bool WebListDone(const WebList* list);

// The waiting master's release; the fetch must not be used afterwards.
void ReleaseWebList(WebList* list);
