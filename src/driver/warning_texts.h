// The text of a reader's notice as a warning says it, after its place.
#pragma once

#include <string>

#include "reader/notices.h"

namespace planner {

std::string notice_text(const Notices::Record& record);

}  // namespace planner
