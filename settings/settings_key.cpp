// Where the settings live, chosen when the program is built: the lab copy,
// which the tests and demonstrations run, keeps a key and a folder of its
// own, so that they never touch a player's settings.
#include "settings/settings_store.h"

#ifdef LAB_SETTINGS_KEY
const wchar_t SettingsKeyName[] = L"SOFTWARE\\Quarrix Lab\\Browser";
const wchar_t DataFolderName[] = L"Quarrix Lab\\Browser";
const wchar_t InstanceName[] = L"Local\\Quarrix Lab Browser";
#else
const wchar_t SettingsKeyName[] = L"SOFTWARE\\Orbelle\\Quarrix Server Browser";
const wchar_t DataFolderName[] = L"Orbelle\\Quarrix Server Browser";
const wchar_t InstanceName[] = L"Local\\Orbelle Quarrix Server Browser";
#endif
