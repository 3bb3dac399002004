#pragma once

// Names the calling thread for debuggers, top and perf. Linux keeps at most
// 15 characters, so longer names are cut there: "tavorin.compositor" shows
// as "tavorin.composi".

#include <string_view>

namespace vorpix::media {

inline constexpr std::string_view kCompositorThreadName = "tavorin.compositor";
inline constexpr std::string_view kDecodeThreadName = "tavorin.decode";
inline constexpr std::string_view kExportThreadName = "tavorin.export";

void setCurrentThreadName(std::string_view name);

}  // namespace vorpix::media
