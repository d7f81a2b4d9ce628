#include "core/plugin_state.h"

namespace palaverlink {

std::int64_t& OutboundCursor() {
  static std::int64_t cursor = 0;
  return cursor;
}

}  // namespace palaverlink
