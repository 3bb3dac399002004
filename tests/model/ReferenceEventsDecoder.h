#pragma once

#include <string_view>

#include "model/Result.h"
#include "model/SessionEvents.h"

namespace vorpix::model::reference {

Result<SessionEvents> decodeEventsTree(std::string_view text);

}  // namespace vorpix::model::reference
