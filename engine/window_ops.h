// The only ways the engine reaches the window. Each is carried out on the UI
// thread by a synchronous window message, so it has taken effect when the
// call returns. None of them waits for the TableLock: the engine calls them
// while holding it.
#pragma once

struct AddressList;
struct ServerAddress;
struct ServerRecord;

enum UpdateButtonState {
    UpdateButtonsIdle,      // "Update", Update and Config enabled
    UpdateButtonsBusy,      // "Abort", Config disabled
    UpdateButtonsAborting,  // "Abort" disabled, Config disabled
};

// Formats with "%s" wide, "%S" 8-bit, "%d" integer; shown in the status bar.
void StatusMessage(const wchar_t* format, ...);

// The same for a progress line that the next one replaces ("Querying..."):
// it does not wait for the window, which shows the latest such line when it
// comes to it, unless a StatusMessage has come after it. A sweep at full
// speed then costs no crossing into the window per request.
void StatusProgress(const wchar_t* format, ...);

// Lists the parsed records at these indexes in this order, each where the Full
// and Empty filters allow it, and shows the "Found..." line of the last: the
// receiver hands the window every reply that waited in one crossing.
void OfferServers(const int* recordIndexes, int count);

// Puts refreshed copies in place of the records at these indexes, and shows
// them there: their rows move to their sorted places, or go or come as the
// filters say, and the counts and the player list follow.
void ReplaceServerRecords(const int* recordIndexes, const ServerRecord* fresh, int count);

// The servers at these indexes did not answer a refresh of the list: their
// rows are drawn greyed, and go after three such refreshes in a row.
void NoteSilentServers(const int* recordIndexes, int count);

// Adds records for these servers at the end of the table; false, with the
// table as it was, when memory is short. Carried out on the UI thread, which
// alone may move the array while the window reads it; the caller holds the
// TableLock, so no engine thread reads it meanwhile.
bool AppendServers(const ServerAddress* servers, int count);

// Empties both list views and zeroes the shown counts.
void ResetServerViews();

// Shows the numbers of listed players and servers.
void RefreshCounts();

void SetUpdateButtons(UpdateButtonState state);

// Notes where an update found each favourite (its entries' addresses and
// ports; 0 when not found), for the favourites of the same text.
void NoteFavouriteAddresses(const AddressList* favourites);
