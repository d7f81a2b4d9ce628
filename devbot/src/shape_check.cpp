#include "devbot/shape_check.h"

#include <algorithm>
#include <limits>

namespace devbot {

Parsed<nlohmann::json> ParseJsonText(std::string_view text) {
  Parsed<nlohmann::json> parsed;
  try {
    parsed.value = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& error) {
    parsed.error = std::string("body is not valid JSON: ") + error.what();
  } catch (const nlohmann::json::out_of_range& error) {
    // Valid JSON, but a number no double can hold (1e400): the body cannot be read as sent.
    parsed.error = std::string("body holds a number too large to read: ") + error.what();
  }
  return parsed;
}

ShapeCheck::ShapeCheck(const nlohmann::json& value, std::string where)
    : value_(value), where_(std::move(where)) {}

ShapeCheck& ShapeCheck::Holds(std::initializer_list<std::string_view> required) {
  if (!ok()) return *this;
  if (!value_.is_object()) {
    Fail(where_ + " must be a JSON object");
    return *this;
  }
  for (std::string_view name : required) {
    if (!value_.contains(name)) {
      Fail(where_ + " lacks the member \"" + std::string(name) + "\"");
      return *this;
    }
  }
  return *this;
}

ShapeCheck& ShapeCheck::Members(std::initializer_list<std::string_view> required,
                                std::initializer_list<std::string_view> optional) {
  if (!Holds(required).ok()) return *this;
  for (const auto& item : value_.items()) {
    const std::string& name = item.key();
    auto listed = [&name](std::string_view allowed) { return allowed == name; };
    if (std::none_of(required.begin(), required.end(), listed) &&
        std::none_of(optional.begin(), optional.end(), listed)) {
      Fail(where_ + " has an unexpected member \"" + name + "\"");
      return *this;
    }
  }
  return *this;
}

const nlohmann::json* ShapeCheck::Member(std::string_view name) {
  if (!ok() || !value_.is_object()) return nullptr;
  auto found = value_.find(name);
  return found == value_.end() ? nullptr : &*found;
}

std::string ShapeCheck::Name(std::string_view member) const { return where_ + "." + std::string(member); }

std::string ShapeCheck::String(std::string_view name) {
  if (!ok()) return {};
  std::optional<std::string> text = OptionalString(name);
  if (!text && ok()) Fail(Name(name) + " is missing");
  return text.value_or(std::string());
}

std::optional<std::string> ShapeCheck::OptionalString(std::string_view name) {
  const nlohmann::json* member = Member(name);
  if (member == nullptr) return std::nullopt;
  if (!member->is_string()) {
    Fail(Name(name) + " must be a string");
    return std::nullopt;
  }
  return member->get<std::string>();
}

std::int64_t ShapeCheck::Integer(std::string_view name) {
  if (!ok()) return 0;
  std::optional<std::int64_t> number = OptionalInteger(name);
  if (!number && ok()) Fail(Name(name) + " is missing");
  return number.value_or(0);
}

std::optional<std::int64_t> ShapeCheck::OptionalInteger(std::string_view name) {
  const nlohmann::json* member = Member(name);
  if (member == nullptr) return std::nullopt;
  if (member->is_number_unsigned() &&
      member->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    Fail(Name(name) + " is too large");
    return std::nullopt;
  }
  if (!member->is_number_integer()) {
    Fail(Name(name) + " must be an integer");
    return std::nullopt;
  }
  return member->get<std::int64_t>();
}

const nlohmann::json& ShapeCheck::Array(std::string_view name) {
  static const nlohmann::json kEmpty = nlohmann::json::array();
  if (!ok()) return kEmpty;
  const nlohmann::json* member = Member(name);
  if (member == nullptr) {
    Fail(Name(name) + " is missing");
    return kEmpty;
  }
  if (!member->is_array()) {
    Fail(Name(name) + " must be an array");
    return kEmpty;
  }
  return *member;
}

void ShapeCheck::Fail(const std::string& reason) {
  if (ok()) error_ = reason;
}

}  // namespace devbot
