#include "botcheck/failure_reading.h"

namespace botcheck {

FailureReading ReadFailure(bool reached, long status) {
  if (!reached) return FailureReading::kLinkLost;
  if (status == 401) return FailureReading::kKeyRejected;
  // A bot that is busy or slow is not refusing the request: the plug-in waits for its health probe.
  if (status == 408 || status == 429) return FailureReading::kLinkLost;
  if (status >= 400 && status < 500) return FailureReading::kRefused;
  return FailureReading::kLinkLost;
}

}  // namespace botcheck
