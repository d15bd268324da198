// Builds without the accessibility bus's library: no caret is ever known, and the popup opens
// at the pointer or the focused window's corner.

#include "platform/atspi/caret_query.h"

namespace platform::atspi {

CaretQuery::CaretQuery() = default;
CaretQuery::~CaretQuery() = default;

void CaretQuery::ask(ProcessId, Answer answer) {
    if (answer) answer(std::nullopt);
}

void CaretQuery::run() {}

}  // namespace platform::atspi
