// Broken and hostile replies.
#include "lab/chaos.h"

namespace {

const size_t DatagramLimit = 4096;

int Below(std::mt19937& random, int limit)
{
    return std::uniform_int_distribution<int>(0, limit - 1)(random);
}

char AnyByte(std::mt19937& random)
{
    static const char special[] = {'\\', '\n', '"', ' ', '\0', '\r', '-', '9', '\xff'};
    return Below(random, 3) == 0 ? special[Below(random, sizeof(special))] : static_cast<char>(Below(random, 256));
}

std::string RandomBytes(std::mt19937& random, int length)
{
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = AnyByte(random);
    return bytes;
}

void Mutate(std::mt19937& random, std::string* bytes)
{
    for (int step = Below(random, 12); step >= 0; step--) {
        size_t at = bytes->empty() ? 0 : Below(random, static_cast<int>(bytes->size()));
        switch (Below(random, 4)) {
        case 0:
            if (!bytes->empty())
                (*bytes)[at] = AnyByte(random);
            break;
        case 1: bytes->insert(at, std::string(Below(random, 600), AnyByte(random))); break;
        case 2: bytes->erase(at, Below(random, 100)); break;
        default: bytes->insert(at, bytes->substr(at, Below(random, 300))); break;
        }
    }
}

}  // namespace

bool ChaoticStatusReply(std::mt19937& random, std::string* reply)
{
    switch (Below(random, 6)) {
    case 0: return false;
    case 1: *reply = RandomBytes(random, Below(random, DatagramLimit + 1)); break;
    case 2: *reply += std::string(Below(random, 3000), 'x') + "\n"; break;
    case 3: break;
    default: Mutate(random, reply); break;
    }
    if (reply->size() > DatagramLimit + 200)
        reply->resize(DatagramLimit + 200);
    return true;
}

bool ChaoticMasterReply(std::mt19937& random, std::string* reply)
{
    switch (Below(random, 6)) {
    case 0: *reply = RandomBytes(random, Below(random, 40)); break;
    case 1: reply->resize(Below(random, static_cast<int>(reply->size()) + 1)); break;
    case 2:
        // Entries for ports on this machine that mostly nobody serves.
        for (int entry = Below(random, 30); entry > 0; entry--) {
            int port = 28000 + Below(random, 4000);
            *reply += std::string("\x7f\0\0\x01", 4) + static_cast<char>(port >> 8) + static_cast<char>(port & 0xFF);
        }
        break;
    case 3: *reply += reply->substr(12); break;
    default: break;
    }
    return true;
}
