// Lists of addresses as the player types them, for the master servers and
// the favourite servers: "host" or "host:port", the host a name or a dotted
// IPv4 address. Each entry keeps its text and, once known, what it resolved to.
#pragma once

#include <windows.h>

// A host name of at most 255 characters, a colon, five digits and the end.
const int TypedAddressSize = 262;
const int HostNameSize = 256;

const WORD DefaultMasterPort = 27900;
const WORD DefaultServerPort = 27910;

const int MaxMasterServers = 16;
// Of the masters, at most this many may be web lists.
const int MaxWebLists = 8;
const int MaxFavouriteServers = 1000;

struct AddressEntry {
    wchar_t text[TypedAddressSize];  // as the player typed it
    DWORD address;                  // network byte order; 0 while unknown
    WORD port;                      // host byte order; 0 while unknown
};

struct AddressList {
    AddressEntry* entries;  // on the process heap, or null
    int count;
};

// Splits "host" or "host:port" into a host (8-bit, for the name lookup) and
// a port; false when the text is not such an address.
bool SplitAddress(const wchar_t* text, WORD defaultPort, char* host, WORD* port);

// Whether a master line is the address of a list on the web: "http://" or
// "https://" (in any case) and a host after it.
bool IsWebListAddress(const wchar_t* text);

// The address of a host written as four dotted decimal numbers.
bool ReadDottedAddress(const char* host, DWORD* address);

// Replaces the list by the usable entries of `text`, `length` characters in
// which entries are separated by line ends or NULs (a multi-string); blanks
// around an entry are dropped, and entries that do not parse, repeats and
// those beyond `limit` are skipped. With `webLists`, up to MaxWebLists
// entries may be web list addresses, taken as they stand.
void ReadAddressEntries(AddressList* list, const wchar_t* text, int length, WORD defaultPort, int limit,
                        bool webLists = false);

// The entries joined by the `separatorLength` characters of `separator` (a
// NUL too), each followed by them when `trailing`; on the C heap, terminated;
// `length` receives its characters.
wchar_t* JoinAddressEntries(const AddressList& list, const wchar_t* separator, int separatorLength, bool trailing,
                            int* length);

// The index of the entry of this text (letters A-Z in any case), or -1.
int FindAddressEntry(const AddressList& list, const wchar_t* text);

// Appends an entry; false when the list is full or memory is short.
bool AppendAddressEntry(AddressList* list, const wchar_t* text, int limit);
void RemoveAddressEntry(AddressList* list, int index);
void ClearAddressList(AddressList* list);
void CopyAddressList(AddressList* copy, const AddressList& list);
