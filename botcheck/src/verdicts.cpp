#include "verdicts.h"

#include "check_names.h"
#include "consequences.h"
#include "link/request_outcome.h"

namespace botcheck {
namespace {

using palaverlink::Delivery;
using palaverlink::ReadOutcome;
using palaverlink::RequestVerdict;
using namespace check_names;
using namespace consequences;

// An empty answer says which status came without a body, so that a 204 is not read as a bad type.
std::string EmptyAnswer(const HttpAnswer& answer) {
  return "HTTP " + std::to_string(answer.status) + " with an empty body";
}

}  // namespace

std::string Answered(const HttpAnswer& answer) {
  if (!answer.reached) return "no answer: " + Printable(answer.error);
  return "answered HTTP " + std::to_string(answer.status) + " (" + Printable(answer.body) + ")";
}

bool NothingAnswers(const HttpAnswer& answer) {
  const auto outcome = ReadOutcome(answer.AsHostReply());
  return outcome.verdict == RequestVerdict::kLinkLost && outcome.delivery == Delivery::kNotTaken &&
         outcome.status == 0;
}

bool ExpectSuccess(Report& report, const std::string& check, const HttpAnswer& answer, const char* lost) {
  if (answer.too_large) {
    const std::string size = answer.announced > 0 ? std::to_string(answer.announced) + " bytes" : "no length";
    report.Fail(check, "the answer is larger than the 16 MiB botcheck reads (" + size + " announced)",
                kTooLarge);
    return false;
  }
  switch (ReadOutcome(answer.AsHostReply()).verdict) {
    case RequestVerdict::kSuccess:
      report.Ok(check);
      return true;
    case RequestVerdict::kRefused:
      report.Fail(check, Answered(answer), std::string(kRefusedPrefix) + lost);
      break;
    case RequestVerdict::kKeyRejected:
      report.Fail(check, Answered(answer), kKeyRejected);
      break;
    case RequestVerdict::kLinkLost:
      report.Fail(check, Answered(answer), kLinkDown);
      break;
  }
  return false;
}

void ExpectHealthy(Report& report, const std::string& check, const HttpAnswer& answer) {
  if (answer.Succeeded()) {
    report.Ok(check);
  } else {
    report.Fail(check, Answered(answer), kHealthFails);
  }
}

void ExpectRefusal(Report& report, const std::string& check, const HttpAnswer& answer) {
  const RequestVerdict result = ReadOutcome(answer.AsHostReply()).verdict;
  if (result == RequestVerdict::kKeyRejected) {
    report.Ok(check);
  } else if (result == RequestVerdict::kSuccess) {
    report.Fail(check, "accepted it: " + Answered(answer), kOpenDoor);
  } else if (result == RequestVerdict::kRefused) {
    report.Fail(check, Answered(answer) + ", not 401", kRefusedNot401);
  } else {
    report.Fail(check, Answered(answer) + (answer.reached ? ", not 401" : ""), kLostNot401);
  }
}

std::optional<OutboundReading> JudgePoll(Report& report, const char* check, const HttpAnswer& answer,
                                         std::int64_t since) {
  if (!ExpectSuccess(report, check, answer, kPollLost)) return std::nullopt;
  if (MediaType(answer.contentType) == "application/json") {
    report.Ok(kJsonType);
  } else if (answer.contentType.empty()) {
    report.Fail(kJsonType, "no Content-Type" + (answer.body.empty() ? " (" + EmptyAnswer(answer) + ")" : ""),
                kNotJsonType);
  } else {
    report.Fail(kJsonType, "Content-Type is '" + Printable(answer.contentType) + "'", kNotJsonType);
  }
  OutboundReading reading = ReadOutbound(answer.body);
  if (reading.shape == OutboundShape::kUnparsable) {
    report.Fail(kShape, answer.body.empty() ? EmptyAnswer(answer) : "not JSON: " + Printable(answer.body),
                kUnparsable);
    return std::nullopt;
  }
  if (reading.shape == OutboundShape::kMissingMessages) {
    report.Fail(kShape, "no \"messages\" array: " + Printable(answer.body), kMissingMessages);
    return std::nullopt;
  }
  report.Ok(kShape);
  if (!reading.problems.empty()) {
    report.Fail(kElements, Printable(reading.problems.front()), kBadElement);
  } else if (reading.count > 0) {
    report.Ok(kElements);
  }
  if (since > 0) {
    if (auto problem = SinceProblem(since, reading.createdAt)) report.Fail(kSince, *problem, kSinceIgnored);
  }
  return reading;
}

}  // namespace botcheck
