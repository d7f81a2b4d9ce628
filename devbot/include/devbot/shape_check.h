// Checks the shape of a JSON value member by member and keeps the first reason it found wrong, so
// that a rejected body can be answered with one clear sentence.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace devbot {

// The outcome of reading a body: a value, or why there is none.
template <class T>
struct Parsed {
  std::optional<T> value;
  std::string error;
};

// Parses text as a JSON value; `error` tells what was wrong.
Parsed<nlohmann::json> ParseJsonText(std::string_view text);

class ShapeCheck {
 public:
  // `where` names the value in reasons, such as "body" or "players[2]".
  ShapeCheck(const nlohmann::json& value, std::string where);

  // The value must be an object holding every required member; others are let be.
  ShapeCheck& Holds(std::initializer_list<std::string_view> required);
  // As Holds, and no member outside both lists.
  ShapeCheck& Members(std::initializer_list<std::string_view> required,
                      std::initializer_list<std::string_view> optional = {});

  // Readers of one member. After the first failure they return empty values.
  std::string String(std::string_view name);
  std::optional<std::string> OptionalString(std::string_view name);
  std::int64_t Integer(std::string_view name);
  std::optional<std::int64_t> OptionalInteger(std::string_view name);
  const nlohmann::json& Array(std::string_view name);

  void Fail(const std::string& reason);
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  const nlohmann::json* Member(std::string_view name);
  std::string Name(std::string_view member) const;

  const nlohmann::json& value_;
  std::string where_;
  std::string error_;
};

}  // namespace devbot
