// Lists of game servers published on the web.
#include <winsock2.h>

#include "engine/web_list.h"

#include <winhttp.h>
#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "engine/master_query.h"
#include "engine/name_lookup.h"

namespace {

// The body as read: at most WebListBodyLimit bytes, on the C heap.
struct Body {
    char* bytes;
    int length;
    bool cut;  // there was more than the limit
};

// One request's handles; closed together.
struct Request {
    HINTERNET connection;
    HINTERNET request;
};

bool Abandoned(const WebList* list)
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&list->abandoned), 0, 0) != 0;
}

DWORD TimeLeft(DWORD startedAt)
{
    DWORD spent = timeGetTime() - startedAt;
    return spent < WebListMilliseconds ? WebListMilliseconds - spent : 0;
}

void CloseRequest(Request* request)
{
    if (request->request != nullptr)
        WinHttpCloseHandle(request->request);
    if (request->connection != nullptr)
        WinHttpCloseHandle(request->connection);
    *request = {};
}

bool IsSecure(const wchar_t* url)
{
    return _wcsnicmp(url, L"https://", 8) == 0;
}

// Opens and sends a GET for the address; redirects are followed by hand, so
// that their number and their direction are ours to bound.
WebListOutcome SendRequest(HINTERNET session, const wchar_t* url, Request* request)
{
    wchar_t host[HostNameSize];
    wchar_t path[TypedAddressSize];
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = HostNameSize;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = TypedAddressSize;
    if (!WinHttpCrackUrl(url, 0, 0, &parts) || host[0] == L'\0')
        return WebListUnresolved;
    request->connection = WinHttpConnect(session, host, parts.nPort, 0);
    DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    request->request = request->connection == nullptr ? nullptr
        : WinHttpOpenRequest(request->connection, L"GET", path[0] != L'\0' ? path : L"/", nullptr,
                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    if (request->request == nullptr ||
        !WinHttpSetOption(request->request, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof(noRedirects)))
        return WebListUnreachable;
    if (!WinHttpSendRequest(request->request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request->request, nullptr))
        return GetLastError() == ERROR_WINHTTP_NAME_NOT_RESOLVED ? WebListUnresolved : WebListUnreachable;
    return WebListFetching;
}

DWORD StatusCode(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &size, WINHTTP_NO_HEADER_INDEX);
    return status;
}

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The address a redirect leads to: absolute, or a path on the same server;
// false for anything else, or from https to http.
bool RedirectTarget(HINTERNET request, const wchar_t* from, wchar_t* target)
{
    bool fromSecure = IsSecure(from);
    wchar_t location[TypedAddressSize];
    DWORD size = sizeof(location);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return false;
    if (IsWebListAddress(location)) {
        lstrcpynW(target, location, TypedAddressSize);
    } else if (location[0] == L'/' && location[1] != L'/') {
        // The scheme and host of the address it came from, then the path.
        int scheme = fromSecure ? 8 : 7;
        int end = scheme;
        while (from[end] != L'\0' && from[end] != L'/' && from[end] != L'?' && from[end] != L'#')
            end++;
        if (end + lstrlenW(location) >= TypedAddressSize)
            return false;
        lstrcpynW(target, from, end + 1);
        lstrcatW(target, location);
    } else {
        return false;
    }
    return !fromSecure || IsSecure(target);
}

bool ContentTypeIsMarkup(HINTERNET request)
{
    wchar_t type[128];
    DWORD size = sizeof(type);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX, type, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return false;
    return _wcsnicmp(type, L"text/html", 9) == 0 || _wcsnicmp(type, L"application/xhtml", 17) == 0;
}

// Reads the body up to its limit, within the time left; false when the time
// ran out or the fetch was abandoned.
bool ReadBody(WebList* list, HINTERNET request, DWORD startedAt, Body* body)
{
    body->bytes = static_cast<char*>(malloc(WebListBodyLimit + 1));
    body->length = 0;
    if (body->bytes == nullptr)
        return false;
    while (body->length < WebListBodyLimit) {
        DWORD left = TimeLeft(startedAt);
        if (left == 0 || Abandoned(list))
            return false;
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &left, sizeof(left));
        DWORD read = 0;
        if (!WinHttpReadData(request, body->bytes + body->length, WebListBodyLimit - body->length, &read))
            return false;
        if (read == 0)
            return true;
        body->length += static_cast<int>(read);
    }
    body->cut = true;
    return true;
}

// A list is text: no control bytes but tab and line ends, and no markup.
bool LooksLikeListText(const Body& body)
{
    int first = 0;
    while (first < body.length && (body.bytes[first] == ' ' || body.bytes[first] == '\t' ||
                                   body.bytes[first] == '\r' || body.bytes[first] == '\n'))
        first++;
    if (first < body.length && body.bytes[first] == '<')
        return false;
    for (int index = 0; index < body.length; index++) {
        unsigned char byte = static_cast<unsigned char>(body.bytes[index]);
        if (byte < ' ' && byte != '\t' && byte != '\r' && byte != '\n')
            return false;
    }
    return true;
}

// Fetches the list's body, following at most WebRedirectLimit redirects.
WebListOutcome Fetch(WebList* list, Body* body)
{
    DWORD startedAt = timeGetTime();
    HINTERNET session = WinHttpOpen(L"Quarrix Server Browser", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr)
        return WebListUnreachable;
    WinHttpSetTimeouts(session, WebConnectMilliseconds, WebConnectMilliseconds, WebListMilliseconds,
                       WebListMilliseconds);
    wchar_t url[TypedAddressSize];
    lstrcpynW(url, list->url, TypedAddressSize);
    WebListOutcome outcome = WebListTooManyRedirects;
    for (int redirects = 0; redirects <= WebRedirectLimit && !Abandoned(list); redirects++) {
        Request request = {};
        outcome = SendRequest(session, url, &request);
        DWORD status = outcome == WebListFetching ? StatusCode(request.request) : 0;
        list->httpStatus = static_cast<int>(status);
        bool redirected = outcome == WebListFetching && IsRedirect(status);
        wchar_t next[TypedAddressSize];
        if (redirected && !RedirectTarget(request.request, url, next))
            outcome = WebListInsecureRedirect;
        else if (redirected)
            outcome = WebListTooManyRedirects;
        else if (outcome == WebListFetching && status != HTTP_STATUS_OK)
            outcome = WebListHttpError;
        else if (outcome == WebListFetching && ContentTypeIsMarkup(request.request))
            outcome = WebListNotText;
        else if (outcome == WebListFetching)
            outcome = !ReadBody(list, request.request, startedAt, body) ? WebListUnreachable
                      : LooksLikeListText(*body)                       ? WebListListed
                                                                       : WebListNotText;
        CloseRequest(&request);
        if (outcome != WebListTooManyRedirects)
            break;
        lstrcpynW(url, next, TypedAddressSize);
    }
    WinHttpCloseHandle(session);
    return outcome;
}

bool IsBlank(char character)
{
    return character == ' ' || character == '\t' || character == '\r';
}

// A line's entry without its comment and blanks: its start and length.
void TrimLine(const char* line, int length, int* start, int* entryLength)
{
    for (int index = 0; index < length; index++) {
        if (line[index] == '#') {
            length = index;
            break;
        }
    }
    int first = 0;
    while (first < length && IsBlank(line[first]))
        first++;
    while (length > first && IsBlank(line[length - 1]))
        length--;
    *start = first;
    *entryLength = length - first;
}

// The entry's host and port; false when it is no "<host>[:<port>]".
bool SplitEntry(const char* entry, int length, char* host, WORD* port)
{
    if (length >= TypedAddressSize)
        return false;
    wchar_t text[TypedAddressSize];
    for (int index = 0; index < length; index++)
        text[index] = static_cast<unsigned char>(entry[index]);
    text[length] = L'\0';
    return SplitAddress(text, DefaultServerPort, host, port);
}

// Calls `take` for each line's entry: its host and port, or a null host for
// a line that is not understood. Blank and comment lines are passed over.
template <typename Take>
void ForEachEntry(const Body& body, Take take)
{
    int position = 0;
    while (position < body.length) {
        const char* line = body.bytes + position;
        const char* end = static_cast<const char*>(memchr(line, '\n', body.length - position));
        int length = end != nullptr ? static_cast<int>(end - line) : body.length - position;
        position += length + 1;
        int start = 0;
        int entryLength = 0;
        TrimLine(line, length, &start, &entryLength);
        if (entryLength == 0)
            continue;
        char host[HostNameSize];
        WORD port = 0;
        bool understood = SplitEntry(line + start, entryLength, host, &port);
        take(understood ? host : nullptr, port);
    }
}

int FindName(const NameLookup* lookup, const char* host)
{
    for (int index = 0; lookup != nullptr && index < lookup->count; index++) {
        if (lstrcmpiA(lookup->names[index].host, host) == 0)
            return index;
    }
    return -1;
}

// The first MaxWebListNames distinct names, looked up side by side within
// the update's bound; null when none is named.
NameLookup* LookUpNames(WebList* list, const Body& body)
{
    NameLookup* lookup = CreateNameLookup(MaxWebListNames);
    if (lookup == nullptr)
        return nullptr;
    int named = 0;
    ForEachEntry(body, [&](const char* host, WORD) {
        DWORD address;
        if (host == nullptr || named == MaxWebListNames || ReadDottedAddress(host, &address))
            return;
        lookup->count = named;
        if (FindName(lookup, host) == -1)
            lstrcpynA(lookup->names[named++].host, host, HostNameSize);
    });
    lookup->count = named;
    lookup->remaining = named;
    if (named == 0) {
        ReleaseNameLookup(lookup);
        return nullptr;
    }
    StartNameLookup(lookup);
    DWORD startedAt = timeGetTime();
    while (!Abandoned(list) && timeGetTime() - startedAt < NameLookupMilliseconds &&
           WaitForSingleObject(lookup->done, 100) == WAIT_TIMEOUT) {
    }
    return lookup;
}

void PutEntry(unsigned char* entry, DWORD address, WORD port)
{
    memcpy(entry, &address, sizeof(address));
    entry[4] = static_cast<unsigned char>(port >> 8);
    entry[5] = static_cast<unsigned char>(port & 0xFF);
}

// The servers of the body as a master's reply; a named server whose name
// was not found is left out, as a favourite's would be.
bool BuildReply(WebList* list, const Body& body, NameLookup* names)
{
    int lines = 0;
    ForEachEntry(body, [&](const char*, WORD) { lines++; });
    int capacity = lines < MaxWebListServers ? lines : MaxWebListServers;
    list->reply = static_cast<unsigned char*>(malloc(MasterHeaderSize + capacity * MasterEntrySize));
    if (list->reply == nullptr)
        return false;
    memcpy(list->reply, MasterListHeader, MasterHeaderSize);
    int servers = 0;
    ForEachEntry(body, [&](const char* host, WORD port) {
        DWORD address = 0;
        int name = host == nullptr || ReadDottedAddress(host, &address) ? -1 : FindName(names, host);
        if (name >= 0)
            address = FoundAddress(names, name);
        bool understood = host != nullptr && (address != 0 || name >= 0);
        if (!understood || servers == capacity)
            list->skippedLines++;
        else if (address != 0)
            PutEntry(list->reply + MasterHeaderSize + MasterEntrySize * servers++, address, port);
    });
    list->replyLength = MasterHeaderSize + servers * MasterEntrySize;
    return true;
}

// A body cut at its limit ends with the last whole line: the part of a
// line after it could read as another address.
void DropCutLine(WebList* list, Body* body)
{
    int length = body->length;
    while (length > 0 && body->bytes[length - 1] != '\n')
        length--;
    if (length < body->length)
        list->skippedLines++;
    body->length = length;
}

void ReadList(WebList* list, Body* body)
{
    if (body->cut)
        DropCutLine(list, body);
    NameLookup* names = LookUpNames(list, *body);
    if (!BuildReply(list, *body, names))
        list->outcome = WebListUnreachable;
    ReleaseNameLookup(names);
}

DWORD WINAPI RunFetch(LPVOID parameter)
{
    WebList* list = static_cast<WebList*>(parameter);
    Body body = {};
    WebListOutcome outcome = Fetch(list, &body);
    list->outcome = outcome;
    if (outcome == WebListListed)
        ReadList(list, &body);
    free(body.bytes);
    SetEvent(list->done);
    ReleaseWebList(list);
    return 0;
}

}  // namespace

WebList* StartWebList(const wchar_t* url)
{
    WebList* list = static_cast<WebList*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(WebList)));
    if (list == nullptr)
        return nullptr;
    list->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    list->references = 2;
    lstrcpynW(list->url, url, TypedAddressSize);
    HANDLE thread = list->done != nullptr ? CreateThread(nullptr, 0, RunFetch, list, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        if (list->done != nullptr)
            CloseHandle(list->done);
        HeapFree(GetProcessHeap(), 0, list);
        return nullptr;
    }
    CloseHandle(thread);
    return list;
}

bool WebListDone(const WebList* list)
{
    return WaitForSingleObject(list->done, 0) == WAIT_OBJECT_0;
}

void ReleaseWebList(WebList* list)
{
    if (list == nullptr)
        return;
    InterlockedExchange(&list->abandoned, 1);
    if (InterlockedDecrement(&list->references) != 0)
        return;
    free(list->reply);
    CloseHandle(list->done);
    HeapFree(GetProcessHeap(), 0, list);
}
