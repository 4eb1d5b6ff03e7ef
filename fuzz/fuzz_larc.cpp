#include "fuzz/decode_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int methods[] = {8, 9};
    decodeFuzzInput(data, size, methods, 2);
    return 0;
}
