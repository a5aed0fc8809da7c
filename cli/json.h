#pragma once

#include <cstdint>
#include <string>

// One JSON object per line for scripts: the texts are the plug-in's own bytes, so anything that
// is not valid UTF-8 (a PID block, say) is written as a \u escape of the byte, never raw.
namespace cli {

std::string JsonString(const std::string& text);

class JsonObject {
 public:
  JsonObject& Add(const char* key, const std::string& value);
  JsonObject& Add(const char* key, const char* value);
  JsonObject& Add(const char* key, int64_t value);
  JsonObject& Add(const char* key, int value) { return Add(key, static_cast<int64_t>(value)); }
  JsonObject& Add(const char* key, uint64_t value);
  JsonObject& Add(const char* key, double value);
  JsonObject& Add(const char* key, bool value);
  // A value that is JSON already (an array or object).
  JsonObject& AddRaw(const char* key, const std::string& json);

  std::string Text() const { return body_ + "}"; }

 private:
  void Key(const char* key);

  std::string body_ = "{";
};

}  // namespace cli
