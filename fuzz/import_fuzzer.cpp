// Screen Studio packages come from another program and often from a cloud
// folder: everything in them is untrusted. The input is split at NUL bytes
// into metadata.json, project.json and the mouse moves and clicks; every
// file is reported as present and complete. Whatever the importer makes of
// it must be writable as our own documents.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "import/ScreenStudioImport.h"
#include "model/JsonCodes.h"
#include "model/Project.h"
#include "model/SessionEvents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts(4);
    std::size_t part = 0;
    for (char c : input) {
        if (c == '\0' && part + 1 < parts.size()) {
            ++part;
        } else {
            parts[part].push_back(c);
        }
    }
    using namespace vorpix;
    import::PackageTexts texts{parts[0], parts[1], std::nullopt};
    const import::MediaProbe probe = [](const std::string&) -> Result<std::optional<std::uintmax_t>> {
        return std::optional<std::uintmax_t>(9000);
    };
    auto header = import::parseHeader(texts, probe, "fuzz", {});
    if (header) {
        const model::SessionEvents events = import::buildSessionEvents(*header, parts[2], parts[3]);
        auto encoded = model::encodeSessionEvents(events);
        // Only text that is not UTF-8 (a file name) may keep it from being written.
        if (!encoded && encoded.error().code != model::json_code::kNotEncodable) std::abort();
    }
    const model::Project project = import::projectFromPackage(parts[1]);
    auto encoded = model::encodeProject(project);
    if (!encoded) std::abort();
    return 0;
}
