// QuarrixLab.exe: serves a scenario on loopback until it is stopped, or for
// the given number of seconds. With --free-ports every port is moved by the
// first offset at which all of them bind, so that the lab runs beside others.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lab/scenario_file.h"

int main(int argc, char** argv)
{
    bool freePorts = argc > 1 && strcmp(argv[1], "--free-ports") == 0;
    int first = freePorts ? 2 : 1;
    if (argc - first < 1 || argc - first > 2) {
        fprintf(stderr, "usage: QuarrixLab [--free-ports] <scenario file> [seconds]\n");
        return 2;
    }
    LabScenario scenario;
    std::string error;
    if (!LoadScenarioFile(argv[first], &scenario, &error)) {
        fprintf(stderr, "QuarrixLab: %s: %s\n", argv[first], error.c_str());
        return 1;
    }
    int offset = 0;
    LabNetwork* lab = freePorts ? StartLabOnFreePorts(scenario, &offset, &error) : StartLab(scenario, &error);
    if (lab == nullptr) {
        fprintf(stderr, "QuarrixLab: %s\n", error.c_str());
        return 1;
    }
    printf("QuarrixLab: serving %d servers", (int)scenario.servers.size());
    if (scenario.hasMaster)
        printf(", master at %s:%d", scenario.master.address.c_str(), scenario.master.port + offset);
    for (const LabMaster& master : scenario.otherMasters)
        printf(", master at %s:%d", master.address.c_str(), master.port + offset);
    if (freePorts)
        printf(", every port moved by %d", offset);
    printf("\n");
    fflush(stdout);

    Sleep(argc - first == 2 ? (DWORD)atoi(argv[first + 1]) * 1000 : INFINITE);
    StopLab(lab);
    return 0;
}
