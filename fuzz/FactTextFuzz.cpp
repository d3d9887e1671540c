// Raw bytes of a hardware fact, as firmware or the kernel might hand them over.
#include "Utf8Check.h"
#include "hardware/FactText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fuzz::requireDecodedFact(hardware::decodeFactText(bytes));
    return 0;
}
