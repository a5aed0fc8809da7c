#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A strict reader of one JSON text, for checking what the front end writes: it refuses
// anything that is not JSON (trailing bytes included) rather than guess.
namespace testing_json {

struct Value {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Value> array;
  std::map<std::string, Value> object;

  bool Has(const std::string& key) const { return object.count(key) != 0; }
  const Value& operator[](const std::string& key) const { return object.at(key); }
  const std::string& Str(const std::string& key) const { return object.at(key).string; }
  double Num(const std::string& key) const { return object.at(key).number; }
};

// Nullopt when `text` is not exactly one JSON value.
std::optional<Value> Parse(const std::string& text);

// Every line of `text` parsed; nullopt with `badLine` set when one is not JSON.
std::optional<std::vector<Value>> ParseLines(const std::string& text, std::string* badLine);

}  // namespace testing_json
