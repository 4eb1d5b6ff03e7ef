#include "fuzz/decode_input.h"

// -lh1-, -lh2- and -lh3-.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int methods[] = {1, 2, 3};
    decodeFuzzInput(data, size, methods, 3);
    return 0;
}
