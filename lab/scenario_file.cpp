// Reading scenario files.
#include "lab/scenario_file.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

struct ScenarioLine {
    std::string word;
    std::string value;  // the rest of the line, inner blanks kept
};

ScenarioLine SplitLine(const std::string& line)
{
    size_t start = line.find_first_not_of(" \t");
    size_t wordEnd = line.find_first_of(" \t", start);
    ScenarioLine split;
    split.word = line.substr(start, wordEnd == std::string::npos ? std::string::npos : wordEnd - start);
    if (wordEnd != std::string::npos) {
        size_t valueStart = line.find_first_not_of(" \t", wordEnd);
        if (valueStart != std::string::npos)
            split.value = line.substr(valueStart);
    }
    return split;
}

bool ReadNumber(const std::string& text, int* number)
{
    char* end = nullptr;
    long value = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0')
        return false;
    *number = (int)value;
    return true;
}

bool ReadEndpoint(const std::string& text, int defaultPort, std::string* address, int* port)
{
    size_t colon = text.find(':');
    *address = text.substr(0, colon);
    *port = defaultPort;
    return !address->empty() && (colon == std::string::npos || ReadNumber(text.substr(colon + 1), port));
}

std::string Unescape(const std::string& text)
{
    std::string bytes;
    for (size_t index = 0; index < text.size(); index++) {
        if (text[index] != '\\' || index + 1 == text.size()) {
            bytes += text[index];
            continue;
        }
        char escape = text[++index];
        if (escape == 'x' && index + 2 < text.size() && isxdigit((unsigned char)text[index + 1]) &&
            isxdigit((unsigned char)text[index + 2])) {
            bytes += (char)strtol(text.substr(index + 1, 2).c_str(), nullptr, 16);
            index += 2;
        } else if (escape == 'n') {
            bytes += '\n';
        } else if (escape == 'r') {
            bytes += '\r';
        } else if (escape == 't') {
            bytes += '\t';
        } else if (escape == '0') {
            bytes += '\0';
        } else {
            bytes += escape;
        }
    }
    return bytes;
}

bool ReadPlayer(const std::string& value, LabPlayer* player)
{
    ScenarioLine score = SplitLine(value);
    ScenarioLine ping = SplitLine(score.value);
    player->name = ping.value;
    return ReadNumber(score.word, &player->score) && ReadNumber(ping.word, &player->ping);
}

const char* InfoKeyOf(const std::string& word)
{
    static const char* const keys[][2] = {
        {"hostname", "hostname"}, {"map", "mapname"},     {"version", "version"},
        {"gamedate", "gamedate"}, {"gamename", "gamename"}, {"maxclients", "maxclients"},
        {"anticheat", "anticheat"}, {"timelimit", "timelimit"},
    };
    for (const auto& key : keys) {
        if (word == key[0])
            return key[1];
    }
    return nullptr;
}

bool ApplyServerWord(const ScenarioLine& line, LabServer* server)
{
    if (const char* key = InfoKeyOf(line.word)) {
        server->info.emplace_back(key, line.value);
        return true;
    }
    if (line.word == "info") {
        ScenarioLine pair = SplitLine(line.value);
        server->info.emplace_back(pair.word, pair.value);
        return !pair.word.empty();
    }
    if (line.word == "player") {
        LabPlayer player;
        server->players.push_back(player);
        return ReadPlayer(line.value, &server->players.back());
    }
    if (line.word == "raw") {
        server->hasRawReply = true;
        server->rawReply = Unescape(line.value);
        return true;
    }
    if (line.word == "delay")
        return ReadNumber(line.value, &server->replyDelay);
    if (line.word == "leave-every")
        return ReadNumber(line.value, &server->leaveEvery);
    if (line.word == "join-every")
        return ReadNumber(line.value, &server->joinEvery);
    if (line.word == "answer-from")
        return ReadNumber(line.value, &server->answerFrom);
    bool* flag = line.word == "silent"         ? &server->silent
                 : line.word == "wrong-port"   ? &server->wrongPort
                 : line.word == "twice"        ? &server->twice
                 : line.word == "oversized"    ? &server->oversized
                 : line.word == "listed-twice" ? &server->listedTwice
                 : line.word == "unlisted"     ? &server->unlisted
                 : line.word == "chaos"        ? &server->chaos
                                               : nullptr;
    if (flag == nullptr || !line.value.empty())
        return false;
    *flag = true;
    return true;
}

bool ApplyMasterWord(const ScenarioLine& line, LabMaster* master)
{
    if ((line.word == "silent" || line.word == "chaos") && line.value.empty()) {
        (line.word == "silent" ? master->silent : master->chaos) = true;
        return true;
    }
    if (line.word == "delay")
        return ReadNumber(line.value, &master->replyDelay);
    if (line.word == "answer-from")
        return ReadNumber(line.value, &master->answerFrom);
    if (line.word == "length")
        return ReadNumber(line.value, &master->replyLength);
    if (line.word == "phantoms")
        return ReadNumber(line.value, &master->phantomEntries) && master->phantomEntries >= 0;
    if (line.word == "lists") {
        // Server numbers in the order of the file, from 1.
        master->lists.clear();
        size_t start = 0;
        while ((start = line.value.find_first_not_of(' ', start)) != std::string::npos) {
            size_t end = line.value.find(' ', start);
            int number = 0;
            if (!ReadNumber(line.value.substr(start, end - start), &number) || number < 1)
                return false;
            master->lists.push_back(number - 1);
            start = end;
        }
        return !master->lists.empty();
    }
    if (line.word == "trailing")
        return ReadNumber(line.value, &master->trailingBytes) && master->trailingBytes >= 0 &&
               master->trailingBytes < 6;
    return false;
}

enum Section { NoSection, MasterSection, ServerSection };

// The master whose section is being read: the first, or the latest further one.
LabMaster* CurrentMaster(LabScenario* scenario)
{
    return scenario->otherMasters.empty() ? &scenario->master : &scenario->otherMasters.back();
}

bool ApplyLine(const ScenarioLine& line, Section* section, LabScenario* scenario)
{
    if (line.word == "seed" && *section == NoSection) {
        int seed = 0;
        bool read = ReadNumber(line.value, &seed);
        scenario->seed = static_cast<unsigned>(seed);
        return read;
    }
    if (line.word == "master") {
        *section = MasterSection;
        if (scenario->hasMaster)
            scenario->otherMasters.emplace_back();
        scenario->hasMaster = true;
        LabMaster* master = CurrentMaster(scenario);
        return ReadEndpoint(line.value, 27900, &master->address, &master->port);
    }
    if (line.word == "server") {
        *section = ServerSection;
        scenario->servers.emplace_back();
        return ReadEndpoint(line.value, 27910, &scenario->servers.back().address,
                            &scenario->servers.back().port);
    }
    if (*section == MasterSection)
        return ApplyMasterWord(line, CurrentMaster(scenario));
    if (*section == ServerSection)
        return ApplyServerWord(line, &scenario->servers.back());
    return false;
}

}  // namespace

bool ParseScenario(const std::string& text, LabScenario* scenario, std::string* error)
{
    *scenario = LabScenario();
    Section section = NoSection;
    size_t lineStart = 0;
    for (int lineNumber = 1; lineStart < text.size(); lineNumber++) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        std::string line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || SplitLine(line).word[0] == '#')
            continue;
        if (!ApplyLine(SplitLine(line), &section, scenario)) {
            *error = "line " + std::to_string(lineNumber) + ": cannot read \"" + line + "\"";
            return false;
        }
    }
    return true;
}

bool LoadScenarioFile(const std::string& path, LabScenario* scenario, std::string* error)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot open " + path;
        return false;
    }
    std::string text;
    char chunk[4096];
    size_t read;
    while ((read = fread(chunk, 1, sizeof(chunk), file)) > 0)
        text.append(chunk, read);
    fclose(file);
    return ParseScenario(text, scenario, error);
}
