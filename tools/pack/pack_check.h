// The packer's proof of its own work: a member's packed bytes, exactly as the archive
// will hold them, decoded by the installer's decoder and compared with the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// True when `packed`, decoded as method `methodIndex` (a compressed row of the method
// table), gives back `original` byte for byte and not one byte more. Safe on any thread.
bool givesBack(const std::vector<std::uint8_t>& packed, int methodIndex,
               const std::uint8_t* original, std::size_t size);
