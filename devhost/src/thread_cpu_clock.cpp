#include "thread_cpu_clock.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include <cstdint>

namespace devhost {

std::chrono::nanoseconds ThreadCpuTime() {
#if defined(_WIN32)
  FILETIME creation{}, exit{}, kernel{}, user{};
  if (!GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user)) return {};
  auto hundreds_of_ns = [](const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return std::chrono::nanoseconds(
      static_cast<std::int64_t>((hundreds_of_ns(kernel) + hundreds_of_ns(user)) * 100));
#else
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
#endif
}

}  // namespace devhost
