// The settings store.
#include "settings/settings_store.h"

int PacketsPerSecond;
