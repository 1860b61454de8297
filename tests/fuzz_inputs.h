// Hostile and broken input for the engine, seeded so a run repeats: status
// datagrams and master replies, fenced against a guard page, and the checks
// that what the engine made of them is sound.
#pragma once

#include <windows.h>

#include <random>
#include <string>

#include "engine/server_table.h"

const int DatagramLimit = 4096;
const int MasterReplyLimit = 65507;
const unsigned char GuardByte = 0xA5;

// The record with guard bytes on both sides, to catch writes past it.
struct GuardedRecord {
    GuardedRecord();
    unsigned char before[512];
    ServerRecord record;
    unsigned char after[512];
};

// Bytes whose last one is the last readable byte of a page, so a read past
// their length faults at once.
class FencedBytes {
public:
    explicit FencedBytes(size_t limit);
    ~FencedBytes();
    FencedBytes(const FencedBytes&) = delete;
    FencedBytes& operator=(const FencedBytes&) = delete;

    const char* Place(const std::string& bytes);

private:
    DWORD pageSize;
    size_t readable;
    char* pages;
};

class InputGenerator {
public:
    explicit InputGenerator(unsigned seed) : random(seed) {}

    // A status reply of at most DatagramLimit bytes.
    std::string NextDatagram();
    // A master reply of 0 to MasterReplyLimit bytes.
    std::string NextMasterReply();

private:
    std::mt19937 random;

    int Below(int limit) { return std::uniform_int_distribution<int>(0, limit - 1)(random); }
    char InterestingByte();
    std::string RandomBytes(int length);
    std::string RandomCase(std::string text);
    std::string PlausibleReply();
    std::string Mutated(std::string datagram);
    std::string HugeLines();
    std::string ManyLines();
    int MasterReplySize();
    std::string MasterEntries(int size);
};

// Parses the datagram into a fresh record, as the receiver would; returns
// what is wrong with the record afterwards, or an empty text.
std::string ParseGuarded(const char* datagram, int length, GuardedRecord* guarded);

// What is wrong with the server table built from a master reply, or an
// empty text.
std::string TableFault(const std::string& reply);
