/* A stand-in for a native Linux Quake II client, which the browser starts
   under Wine: records the arguments it was started with, one per line, then
   its current directory, in "launch.txt" in that directory, and exits. The
   record is written under another name first, so it appears whole. */
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    char directory[PATH_MAX];
    if (getcwd(directory, sizeof directory) == NULL)
        return 1;
    FILE* record = fopen("launch.tmp", "w");
    if (record == NULL)
        return 1;
    for (int index = 0; index < argc; index++)
        fprintf(record, "%s\n", argv[index]);
    fprintf(record, "%s\n", directory);
    if (fclose(record) != 0)
        return 1;
    return rename("launch.tmp", "launch.txt") == 0 ? 0 : 1;
}
