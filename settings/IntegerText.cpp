#include "settings/IntegerText.h"

#include <stdexcept>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

// Digits only, accumulated in 64 bits and refused as soon as they leave the
// 32-bit range (one more than INT32_MAX is allowed for a negative number).
std::optional<int32_t> ParseDigits(std::string_view digits, int base, bool negative) {
  if (digits.empty()) return std::nullopt;
  const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX};
  int64_t value = 0;
  for (char c : digits) {
    int d = DigitValue(c, base);
    if (d < 0) return std::nullopt;
    value = value * base + d;
    if (value > limit) return std::nullopt;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

std::optional<int32_t> ParseSignedDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  return ParseDigits(text, 10, negative);
}

}  // namespace

std::optional<int32_t> TryStrToInt(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return ParseSignedDecimal(text);
}

int32_t StrToInt(const std::string& text) {
  if (auto value = TryStrToInt(text)) return *value;
  throw std::runtime_error("'" + text + "' is not a valid integer value");
}

std::optional<int32_t> ParseStoredNumber(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return ParseDigits(text.substr(2), 16, false);
  return ParseSignedDecimal(text);
}
