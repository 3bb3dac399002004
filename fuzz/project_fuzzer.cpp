#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/Project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto decoded = vorpix::model::decodeProject(text);
    if (!decoded.ok()) return 0;
    auto encoded = vorpix::model::encodeProject(*decoded);
    if (!encoded.ok()) std::abort();
    // Zoom segments without an id got a fresh one on the first read; from
    // the encoded form on, the document must be stable byte for byte.
    auto again = vorpix::model::decodeProject(*encoded);
    if (!again.ok() || !(*again == *decoded)) std::abort();
    auto encodedAgain = vorpix::model::encodeProject(*again);
    if (!encodedAgain.ok() || *encodedAgain != *encoded) std::abort();
    return 0;
}
