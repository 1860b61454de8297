// Entry of every test program: sets up what the application's entry would.
#include <gtest/gtest.h>

#include "engine/server_table.h"

int main(int argc, char** argv)
{
    InitializeCriticalSection(&TableLock);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
