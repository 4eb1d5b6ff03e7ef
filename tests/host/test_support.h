// Helpers shared by the native tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/slide_decoder.h"
#include "extract/lha/entry_header.h"
#include "tools/pack/block_writer.h"
#include "tools/pack/lha_writer.h"

using Bytes = std::vector<std::uint8_t>;

// --- files and commands
Bytes readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const Bytes& bytes);
int runCommand(const std::string& command);  // exit status of /bin/sh -c
bool haveTool(const char* name);
std::string makeTempDir();
bool exists(const std::string& path);
// A stream that holds the bytes, then `after`, read from the start.
std::FILE* streamOf(const Bytes& bytes, const char* after = "");

// --- data of each kind; the same seed gives the same bytes
Bytes textLike(std::size_t n, std::uint32_t seed);  // words, spaces, line ends
Bytes noise(std::size_t n, std::uint32_t seed);     // incompressible
Bytes runs(std::size_t n);                          // long runs and short repeats
Bytes mixed(std::size_t n);                         // all three, a megabyte at a time

// --- the shared corpus of real archives
std::string corpusDir();                                        // "" when absent
std::vector<std::string> listArchives(const std::string& dir);  // recursive, sorted
// lhasa's extraction into `dir` (made), and the file it wrote for a member path, or "".
void lhasaExtract(const std::string& archive, const std::string& dir);
std::string lhasaFile(const std::string& dir, const std::string& path);
// What a corpus archive must fail with (part of the message), or null when it installs;
// `decodes` tells whether its members decode to their CRCs all the same.
const char* expectedFailure(const std::string& path, bool* decodes = nullptr);

// --- member headers made byte by byte, the writer left out (Text: bytes in a string)
using Text = std::string;
Text le16(unsigned v);
Text le32(std::uint32_t v);
// Level 0 or 1: -lh5-, 26948 bytes, a DOS time, `tail` after the name, byte 1 the checksum.
Text level01(int level, const Text& name, const Text& tail, std::uint32_t packed = 10);
Text withChecksum(Text header);  // byte 1 made right again after a change
// Level 2: -lh5-, 3 bytes, a Unix time, CRC 0xBEEF, extended headers `ext` (le16(0) ends).
Text level2(const Text& ext, std::uint32_t packed = 10, char os = 'U');
Text extended(char type, const Text& data);  // its size field first
// A whole header (46 bytes) as an OS-9/68K archiver writes it: level 2, its length 2 short,
// OS 'K', no header CRC, Unix permission and owner before the name gpl-2 (18,092 bytes).
Text os68kHeader(std::uint32_t packed = 7004, std::uint16_t crc = 0xA33A);

// --- archives of our writer, and our reader and decoders over them
Bytes archiveOf(const std::vector<LhaMember>& members);
struct DecodedMember {
    EntryHeader header;
    int methodIndex;  // -1 for a method outside the table
    DecodeResult result;
    std::uint16_t crc;  // CRC of the bytes produced
    Bytes bytes;
};
// Every member of the archive file, which may start after `offset` bytes of other data,
// up to the first header that does not read; `last` tells how it ended.
std::vector<DecodedMember> decodeArchive(const std::string& path, long offset = 0,
                                         HeaderRead* last = nullptr);

struct Decoded {
    DecodeResult result;
    std::string bytes;
    std::uint16_t crc;
};
// One member's packed data decoded as the installer does, with its progress and abort
// hooks; the bytes after the packed data in the stream must never be read.
Decoded decodeMember(const Bytes& packed, std::uint32_t originalSize, int method,
                     std::uint32_t packedSize = ~0u);
// A bit stream's bytes, its last byte completed with zero bits.
Bytes finished(BitWriter w);
// The member name as the path rules leave it.
std::string sanitizedName(const char* name);

// --- the win64 build under Wine
std::string win64Dir();                                // VOPA_WIN64_DIR, or "" when not built
std::string windowsPath(const std::string& hostPath);  // the Z:\ path Wine maps to it
// Runs `program args` under run-in-wine.sh; a non-empty `prefix` is kept.
int runInWine(const std::string& program, const std::string& args, const std::string& prefix = "");
