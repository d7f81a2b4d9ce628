// What the plug-in makes of a request that did not succeed, read from the answer the way its link
// reads the host's failure text: a refusal of that one request, a rejected key, or a lost link.
#pragma once

namespace botcheck {

enum class FailureReading {
  kRefused,      // 4xx but 401, 408 and 429: the request is dropped with one warning, the link stays up
  kKeyRejected,  // 401: the link goes down with the warning that says to fix the key
  kLinkLost,     // no answer, a time-out, 408, 429, 3xx, 5xx: the link goes down
};

// `reached`: an HTTP answer came back with `status`; otherwise the status is not looked at.
FailureReading ReadFailure(bool reached, long status);

}  // namespace botcheck
