// The lab's scenario files: a master and game servers described in text.
//
//   # a comment
//   master 127.0.0.1            (port 27900 unless given as address:port)
//     delay 500                 milliseconds before the reply
//   server 127.0.0.2:27910
//     hostname Quarrix Arena    any of: hostname map version gamedate gamename
//     maxclients 16                     maxclients anticheat timelimit
//     info admin Someone        any other info key and value
//     player 12 48 Red Fox      score, ping, name
//     delay 30
//
// Words that shape a server's behaviour: "delay <ms>", "answer-from <k>",
// "leave-every <ms>" (then, and after each such span, its last player leaves),
// "join-every <ms>" (then, and after each such span, a player joins),
// "silent", "wrong-port", "twice", "oversized", "listed-twice", "unlisted",
// "raw <bytes>" with C escapes (\xHH, \n, \r, \t, \0, \\), "chaos" (random and
// mutated replies, from the scenario's "seed <n>", given before any section).
// The master takes "chaos" too, and
// "delay", "answer-from", "silent", "length <bytes>", "trailing <bytes>",
// "phantoms <n>" (entries for 127.0.0.1:40000 and up, which nobody serves)
// and "lists <n> ..." (names only these servers, numbered from 1 in the
// order of the file). Every further "master" section adds another master.
#pragma once

#include <string>

#include "lab/lab_network.h"

bool ParseScenario(const std::string& text, LabScenario* scenario, std::string* error);
bool LoadScenarioFile(const std::string& path, LabScenario* scenario, std::string* error);
