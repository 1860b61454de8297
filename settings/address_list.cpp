// Lists of addresses as the player types them.
#include "settings/address_list.h"

#include <stdlib.h>
#include <string.h>

namespace {

bool IsHostCharacter(wchar_t character)
{
    return (character >= L'a' && character <= L'z') || (character >= L'A' && character <= L'Z') ||
           (character >= L'0' && character <= L'9') || character == L'.' || character == L'-' || character == L'_';
}

bool IsBlank(wchar_t character)
{
    return character == L' ' || character == L'\t';
}

bool IsEntryEnd(wchar_t character)
{
    return character == L'\0' || character == L'\r' || character == L'\n';
}

// A port of one to five digits, 1 to 65535, and nothing after it.
bool ReadPort(const wchar_t* text, WORD* port)
{
    long value = 0;
    int digits = 0;
    for (; text[digits] != L'\0'; digits++) {
        if (digits == 5 || text[digits] < L'0' || text[digits] > L'9')
            return false;
        value = value * 10 + (text[digits] - L'0');
    }
    if (digits == 0 || value < 1 || value > 65535)
        return false;
    *port = static_cast<WORD>(value);
    return true;
}

bool GrowList(AddressList* list)
{
    SIZE_T bytes = (list->count + 1) * sizeof(AddressEntry);
    void* entries = list->entries == nullptr
                        ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes)
                        : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, list->entries, bytes);
    if (entries == nullptr)
        return false;
    list->entries = static_cast<AddressEntry*>(entries);
    return true;
}

}  // namespace

bool SplitAddress(const wchar_t* text, WORD defaultPort, char* host, WORD* port)
{
    int length = 0;
    while (text[length] != L'\0' && text[length] != L':') {
        if (length == HostNameSize - 1 || !IsHostCharacter(text[length]))
            return false;
        host[length] = static_cast<char>(text[length]);
        length++;
    }
    host[length] = '\0';
    if (length == 0)
        return false;
    if (text[length] == L'\0') {
        *port = defaultPort;
        return true;
    }
    return ReadPort(text + length + 1, port);
}

bool ReadDottedAddress(const char* host, DWORD* address)
{
    BYTE parts[4];
    const char* cursor = host;
    for (int part = 0; part < 4; part++) {
        int value = 0;
        int digits = 0;
        for (; *cursor >= '0' && *cursor <= '9'; cursor++, digits++) {
            value = value * 10 + (*cursor - '0');
            if (digits == 3 || value > 255)
                return false;
        }
        if (digits == 0 || *cursor != (part < 3 ? '.' : '\0'))
            return false;
        parts[part] = static_cast<BYTE>(value);
        cursor++;
    }
    memcpy(address, parts, sizeof(parts));
    return true;
}

bool IsWebListAddress(const wchar_t* text)
{
    int scheme = _wcsnicmp(text, L"http://", 7) == 0 ? 7 : (_wcsnicmp(text, L"https://", 8) == 0 ? 8 : 0);
    return scheme > 0 && text[scheme] != L'\0' && text[scheme] != L'/';
}

void ReadAddressEntries(AddressList* list, const wchar_t* text, int length, WORD defaultPort, int limit,
                        bool webLists)
{
    ClearAddressList(list);
    int webListCount = 0;
    int position = 0;
    // A full list takes nothing more: the rest of a huge value is not even
    // compared with it.
    while (position < length && list->count < limit) {
        while (position < length && (IsBlank(text[position]) || IsEntryEnd(text[position])))
            position++;
        int start = position;
        while (position < length && !IsEntryEnd(text[position]))
            position++;
        int end = position;
        while (end > start && IsBlank(text[end - 1]))
            end--;
        if (end == start || end - start >= TypedAddressSize)
            continue;
        wchar_t entry[TypedAddressSize];
        memcpy(entry, text + start, (end - start) * sizeof(wchar_t));
        entry[end - start] = L'\0';
        char host[HostNameSize];
        WORD port;
        bool webList = webLists && IsWebListAddress(entry);
        if (webList && webListCount == MaxWebLists)
            continue;
        if ((webList || SplitAddress(entry, defaultPort, host, &port)) && FindAddressEntry(*list, entry) == -1 &&
            AppendAddressEntry(list, entry, limit))
            webListCount += webList;
    }
}

wchar_t* JoinAddressEntries(const AddressList& list, const wchar_t* separator, int separatorLength, bool trailing,
                            int* length)
{
    int total = 0;
    for (int index = 0; index < list.count; index++)
        total += lstrlenW(list.entries[index].text) + separatorLength;
    if (!trailing && list.count > 0)
        total -= separatorLength;
    wchar_t* joined = static_cast<wchar_t*>(calloc(total + 1, sizeof(wchar_t)));
    if (joined == nullptr)
        return nullptr;
    wchar_t* cursor = joined;
    for (int index = 0; index < list.count; index++) {
        int textLength = lstrlenW(list.entries[index].text);
        memcpy(cursor, list.entries[index].text, textLength * sizeof(wchar_t));
        cursor += textLength;
        if (trailing || index + 1 < list.count) {
            memcpy(cursor, separator, separatorLength * sizeof(wchar_t));
            cursor += separatorLength;
        }
    }
    *length = total;
    return joined;
}

int FindAddressEntry(const AddressList& list, const wchar_t* text)
{
    for (int index = 0; index < list.count; index++) {
        if (_wcsicmp(list.entries[index].text, text) == 0)
            return index;
    }
    return -1;
}

bool AppendAddressEntry(AddressList* list, const wchar_t* text, int limit)
{
    if (list->count >= limit || !GrowList(list))
        return false;
    AddressEntry* entry = &list->entries[list->count];
    lstrcpynW(entry->text, text, TypedAddressSize);
    entry->address = 0;
    entry->port = 0;
    list->count++;
    return true;
}

void RemoveAddressEntry(AddressList* list, int index)
{
    if (index < 0 || index >= list->count)
        return;
    memmove(&list->entries[index], &list->entries[index + 1], (list->count - index - 1) * sizeof(AddressEntry));
    list->count--;
}

void ClearAddressList(AddressList* list)
{
    if (list->entries != nullptr)
        HeapFree(GetProcessHeap(), 0, list->entries);
    list->entries = nullptr;
    list->count = 0;
}

void CopyAddressList(AddressList* copy, const AddressList& list)
{
    ClearAddressList(copy);
    if (list.count == 0)
        return;
    copy->entries = static_cast<AddressEntry*>(HeapAlloc(GetProcessHeap(), 0, list.count * sizeof(AddressEntry)));
    if (copy->entries == nullptr)
        return;
    memcpy(copy->entries, list.entries, list.count * sizeof(AddressEntry));
    copy->count = list.count;
}
