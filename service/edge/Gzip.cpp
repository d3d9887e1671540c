#include "service/edge/Gzip.h"

#include <zlib.h>

namespace service {
namespace {

constexpr int kGzipWindowBits = 15 + 16; // zlib's largest window, in a gzip wrapper
constexpr int kMemoryLevel = 8;          // zlib's default

} // namespace

std::optional<std::string> gzip(std::string_view text) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    // deflateBound leaves room for the whole output, so one call finishes it.
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return status == Z_STREAM_END ? std::optional(std::move(out)) : std::nullopt;
}

} // namespace service
