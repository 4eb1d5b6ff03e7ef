// Test helpers: walk an archive with our own header reader and decode members into
// memory; run the independent tools (lhasa's `lha`, `jlha`) where installed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "decode/slide_decoder.h"
#include "extract/archive_walk.h"
#include "extract/entry_header.h"

struct DecodedMember {
    EntryHeader header;
    int methodIndex;  // -1 for a method outside the table
    DecodeResult result;
    std::uint16_t crc;  // CRC of the bytes produced
    std::vector<std::uint8_t> bytes;
};

// Every member of the archive file (which may carry data before the archive: give the
// offset of the first header). Stops at the first header that does not read.
std::vector<DecodedMember> decodeArchive(const std::string& path, long offset = 0,
                                         HeaderRead* last = nullptr);

std::vector<std::uint8_t> readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool haveTool(const char* name);
int runCommand(const std::string& command);  // exit status of /bin/sh -c
std::string makeTempDir();
std::string corpusDir();  // the shared corpus of LHA archives, or "" when absent
std::vector<std::string> listArchives(const std::string& dir);  // recursive, sorted
