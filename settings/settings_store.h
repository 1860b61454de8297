// The user's settings, process-wide, read and written in place by the rest
// of the program.
#pragma once

const int DefaultPacketsPerSecond = 10;

// Status requests per second during a sweep.
extern int PacketsPerSecond;
