// A reply body from the score service, which may be anything at all.
#include "submission/APIResponse.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    // An exception escaping here aborts, which libFuzzer reports as a crash.
    const auto response = submission::decodeAPIResponse(body);
    if (!response) {
        return 0;
    }
    // Whatever decodes must survive encoding and decoding again unchanged.
    const auto again = submission::decodeAPIResponse(submission::encodeAPIResponse(*response));
    if (again != response) {
        std::fprintf(stderr, "invariant broken: encode then decode changes the reply\n");
        std::abort();
    }
    return 0;
}
