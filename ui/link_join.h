// Following a join link: one the browser was started with, or one a second
// copy hands over. The server is looked up and asked for its status (once
// no update or refresh runs: neither is stopped for it), its row selected,
// and the player is asked whether to join it ("Join Link"); a server that
// does not answer may be joined all the same. A later link replaces an
// earlier one still being followed. A link never carries a password and
// never changes a setting.
#pragma once

#include <windows.h>

#include "engine/name_lookup.h"

#define WM_FOLLOW_JOIN_LINK (WM_APP + 13)
#define WM_JOIN_LINK_LOOKED_UP (WM_APP + 14)  // lParam: the lookup
#define WM_ASK_JOIN_LINK (WM_APP + 15)
const UINT_PTR JoinLinkTimerId = 5;
// Marks a link handed over in WM_COPYDATA.
const ULONG_PTR JoinLinkCopyData = 0x4C4A5251;

// Keeps a link to be followed at WM_FOLLOW_JOIN_LINK, which it posts once
// the main window exists; kept before, a link to an address has its server
// in the first update's table.
void KeepJoinLink(const wchar_t* text);

// WM_COPYDATA from a second copy: a link, checked and kept; false for any
// other data, or data that is no bounded text.
bool TakeHandedLink(const COPYDATASTRUCT* data);

// The steps of following the kept link, each from its message.
void FollowJoinLink();
void FollowLinkLookup(const NameLookup* lookup);
void FollowLinkedRecord(int recordIndex);
void FollowJoinLinkTimer();
void AskJoinLink();

// Whether a link is being followed.
bool FollowingJoinLink();

// At start: links open a copy that is no longer where it was (this one,
// moved): the player is offered, once, to have them open this copy.
void OfferToTakeOverLinks();

INT_PTR CALLBACK JoinLinkDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
