#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/SessionEvents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto decoded = vorpix::model::decodeSessionEvents(text);
    if (!decoded.ok()) return 0;
    auto encoded = vorpix::model::encodeSessionEvents(*decoded);
    if (!encoded.ok()) std::abort();  // whatever decodes must encode again
    auto again = vorpix::model::decodeSessionEvents(*encoded);
    if (!again.ok() || !(*again == *decoded)) std::abort();
    return 0;
}
