// QuarrixLab.exe: serves a scenario on loopback until it is stopped, or for
// the given number of seconds.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "lab/scenario_file.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: QuarrixLab <scenario file> [seconds]\n");
        return 2;
    }
    LabScenario scenario;
    std::string error;
    if (!LoadScenarioFile(argv[1], &scenario, &error)) {
        fprintf(stderr, "QuarrixLab: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    LabNetwork* lab = StartLab(scenario, &error);
    if (lab == nullptr) {
        fprintf(stderr, "QuarrixLab: %s\n", error.c_str());
        return 1;
    }
    printf("QuarrixLab: serving %d servers", (int)scenario.servers.size());
    if (scenario.hasMaster)
        printf(", master at %s:%d", scenario.master.address.c_str(), scenario.master.port);
    for (const LabMaster& master : scenario.otherMasters)
        printf(", master at %s:%d", master.address.c_str(), master.port);
    printf("\n");
    fflush(stdout);

    Sleep(argc == 3 ? (DWORD)atoi(argv[2]) * 1000 : INFINITE);
    StopLab(lab);
    return 0;
}
