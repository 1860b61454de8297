// The settings variables.
#include "settings/settings.h"

wchar_t GamePath[PathSize];
wchar_t GameExecutable[PathSize];

int PacketsPerSecond;
int GoodPing;
int MediumPing;
DWORD ShowFull;
DWORD ShowEmpty;
DWORD SortOrder;
DWORD PlayerViewDetails;
wchar_t* BuddyText;
AddressList MasterServers;
bool MasterServersChosen;
bool OpenMaximized;
DWORD MaximumPing;
DWORD SearchLocalNetwork;
AddressList FavouriteServers;
DWORD RefreshMinutes;
DWORD KeepInNotificationArea;
WatchedServer WatchedServers[MaxWatchedServers];
int WatchedServerCount;
