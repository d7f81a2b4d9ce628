#include "devbot/json_text.h"

namespace devbot {

std::string ToJsonText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Response JsonResponse(int status, const nlohmann::json& value) {
  Response response;
  response.status = status;
  response.content_type = "application/json";
  response.body = ToJsonText(value);
  return response;
}

Response ErrorResponse(int status, const std::string& reason) {
  return JsonResponse(status, nlohmann::json{{"error", reason}});
}

}  // namespace devbot
