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
    // Zoom segments without an id got a fresh one on the first read, and
    // fields that could not be decoded took their defaults; from the encoded
    // form on, the document must decode whole and be stable byte for byte.
    auto again = vorpix::model::decodeProjectFields(*encoded);
    if (!again.ok() || !again->defaulted.empty() || !(again->project == *decoded)) std::abort();
    auto encodedAgain = vorpix::model::encodeProject(again->project);
    if (!encodedAgain.ok() || *encodedAgain != *encoded) std::abort();
    return 0;
}
