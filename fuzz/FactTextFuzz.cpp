// Raw bytes of a hardware fact, as firmware or the kernel might hand them over.
#include "hardware/FactText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = hardware::decodeFactText({reinterpret_cast<const char*>(data), size});
    // Decoding is a fixed point: ill-formed UTF-8, a NUL or an untrimmed control left in the
    // output would each be changed by a second pass.
    if (text.find('\0') != std::string::npos || hardware::decodeFactText(text) != text) {
        std::abort();
    }
    return 0;
}
