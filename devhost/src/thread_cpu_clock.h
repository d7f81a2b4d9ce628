// The calling thread's processor time. On a shared machine the steady clock also counts the time a
// thread waited for a processor; this counts only the time it ran.
#pragma once

#include <chrono>

namespace devhost {

std::chrono::nanoseconds ThreadCpuTime();

}  // namespace devhost
