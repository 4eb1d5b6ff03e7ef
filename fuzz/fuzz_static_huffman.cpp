#include "fuzz/decode_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int methods[] = {4, 5, 6, 7};
    decodeFuzzInput(data, size, methods, 4);
    return 0;
}
