#pragma once

// The streaming reader behind decodeSessionEvents: the same strict rules and
// the same messages as decoding a JSON tree, without building one. An
// "events.json" holds about 7,200 pointer samples per minute of recording,
// and the library decodes every one of them when it lists recordings, so
// the tree's per-value allocations are what made listing slow.

#include <string_view>

#include "model/Result.h"
#include "model/SessionEvents.h"

namespace vorpix::model::detail {

Result<SessionEvents> readEventsStreaming(std::string_view text);

}  // namespace vorpix::model::detail
