// The settings store.
#include "settings/settings_store.h"

int PacketsPerSecond;
int GoodPing;
int MediumPing;
DWORD ShowFull;
DWORD ShowEmpty;
DWORD SortOrder;
DWORD PlayerViewDetails;
wchar_t* BuddyText;
