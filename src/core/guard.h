// Work that the host calls (timer callbacks, request completions) runs inside a guard, so that no
// exception ever reaches the framework.
#pragma once

#include <functional>
#include <string_view>

namespace palaverlink {

// Runs `work`; an exception is caught and written as one warning naming `what` (the first failure
// of each `what` is written, repeats stay quiet until `what` has run without one again).
void RunGuarded(std::string_view what, const std::function<void()>& work) noexcept;

}  // namespace palaverlink
