#pragma once

#include <chrono>
#include <string>

namespace submission {

// Where results go and whom to trust there.
struct Endpoint {
    std::string baseUrl;                  // https://host[:port][/prefix]
    std::string caFile;                   // PEM bundle; empty: the system trust store
    std::chrono::seconds idleTimeout{60}; // a request idle this long fails

    // The constants this program was built with.
    static Endpoint system();
};

} // namespace submission
