// Little-endian fields, as the archive's headers, the PE image and the payload record
// store their numbers.
#pragma once
#include <cstdint>
#include <vector>

inline std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t le64(const std::uint8_t* p) {
    return le32(p) | (std::uint64_t{le32(p + 4)} << 32);
}

// `v`'s low `bytes` bytes, into `p` or onto the end of `out`.
inline void putLe(std::uint8_t* p, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}
inline void appendLe(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i, v >>= 8) out.push_back(static_cast<std::uint8_t>(v));
}
