// The master server's host name, chosen when the program is built.
#include "engine/master_update.h"

const wchar_t* MasterHostName = L"" MASTER_HOST_TEXT;
