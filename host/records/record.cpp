#include "host/records/record.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include "corvane/platform/clock.h"

namespace records {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian), without the C library's time
// zone: an ISO time in UTC must not depend on the machine's zone.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Reads `count` digits at `at` into `value`; false when they are not all digits.
bool Digits(const std::string& s, size_t at, size_t count, int& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

// "Z", "+01:00", "-0530" or nothing (UTC); false for anything else.
bool Offset(const std::string& s, size_t at, int64_t& offsetMs) {
  offsetMs = 0;
  if (at == s.size() || (s[at] == 'Z' && at + 1 == s.size())) return true;
  if (s[at] != '+' && s[at] != '-') return false;
  int h = 0;
  int m = 0;
  const size_t mAt = at + 3 + (at + 3 < s.size() && s[at + 3] == ':' ? 1 : 0);
  if (!Digits(s, at + 1, 2, h) || !Digits(s, mAt, 2, m) || mAt + 2 != s.size()) return false;
  if (h > 23 || m > 59) return false;
  offsetMs = (static_cast<int64_t>(h) * 60 + m) * 60000 * (s[at] == '-' ? -1 : 1);
  return true;
}

}  // namespace

std::string NewId() {
  std::random_device device;
  std::mt19937_64 mix((static_cast<uint64_t>(device()) << 32) ^ device() ^
                      static_cast<uint64_t>(NowMs()));
  uint8_t b[16];
  for (size_t i = 0; i < sizeof b; i += 8) {
    const uint64_t r = mix();
    for (size_t k = 0; k < 8; ++k) b[i + k] = static_cast<uint8_t>(r >> (8 * k));
  }
  b[6] = static_cast<uint8_t>((b[6] & 0x0f) | 0x40);  // version 4
  b[8] = static_cast<uint8_t>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

std::string IsoUtc(int64_t ms) {
  const int64_t days = (ms >= 0 ? ms : ms - 86399999) / 86400000;
  const int64_t inDay = ms - days * 86400000;
  // Civil date from days (the inverse of DaysFromCivil).
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                static_cast<long long>(y), m, d, static_cast<long long>(inDay / 3600000),
                static_cast<long long>(inDay / 60000 % 60),
                static_cast<long long>(inDay / 1000 % 60), static_cast<long long>(inDay % 1000));
  return text;
}

std::string LocalTime(int64_t ms) {
  const auto seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  platform::LocalTime(seconds, local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

bool ParseTime(const std::string& s, int64_t& ms) {
  int y = 0;
  int mo = 0;
  int d = 0;
  if (!Digits(s, 0, 4, y) || s.size() < 10 || s[4] != '-' || !Digits(s, 5, 2, mo) || s[7] != '-' ||
      !Digits(s, 8, 2, d) || mo < 1 || mo > 12 || d < 1 || d > 31) {
    return false;
  }
  int h = 0;
  int mi = 0;
  int sec = 0;
  int frac = 0;
  size_t at = 10;
  if (at < s.size() && (s[at] == 'T' || s[at] == ' ')) {
    if (!Digits(s, 11, 2, h) || s.size() < 16 || s[13] != ':' || !Digits(s, 14, 2, mi)) {
      return false;
    }
    at = 16;
    if (at < s.size() && s[at] == ':') {
      if (!Digits(s, 17, 2, sec)) return false;
      at = 19;
      if (at < s.size() && s[at] == '.') {
        if (!Digits(s, 20, 3, frac)) return false;
        at = 23;
      }
    }
    if (h > 23 || mi > 59 || sec > 60) return false;
  }
  int64_t offsetMs = 0;
  if (!Offset(s, at, offsetMs)) return false;
  const int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  ms = ((days * 24 + h) * 60 + mi) * 60000 + static_cast<int64_t>(sec) * 1000 + frac - offsetMs;
  return true;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

const char* ToolVersion() { return TARVEX_VERSION; }

}  // namespace records
