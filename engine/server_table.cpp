// The server table and its lock.
#include "engine/server_table.h"

ServerTableState ServerTable;
CRITICAL_SECTION TableLock;

int CountUnansweredLocked()
{
    int unanswered = 0;
    for (int index = 0; index < ServerTable.count; index++) {
        if (!ServerTable.records[index].responded)
            unanswered++;
    }
    return unanswered;
}

int CountUnanswered()
{
    EnterCriticalSection(&TableLock);
    int unanswered = CountUnansweredLocked();
    LeaveCriticalSection(&TableLock);
    return unanswered;
}
