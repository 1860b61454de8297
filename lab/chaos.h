// Broken and hostile replies for robustness runs: the lab's servers and
// master can answer with random or mutated datagrams instead of good ones.
#pragma once

#include <random>
#include <string>

// Turns a good status reply into what a broken or hostile server might send;
// false when the server is to stay silent this time.
bool ChaoticStatusReply(std::mt19937& random, std::string* reply);

// The same for the master's list.
bool ChaoticMasterReply(std::mt19937& random, std::string* reply);
