#pragma once
// printf-like formatting of command and transcript texts. Only "%s", "%d"
// and "%%" are known; text arguments are bytes and may hold NUL.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

struct FormatArg {
  std::variant<std::string, int64_t> value;
  FormatArg(const std::string& s) : value(s) {}
  FormatArg(std::string&& s) : value(std::move(s)) {}
  FormatArg(const char* s) : value(std::string(s)) {}
  FormatArg(int v) : value(int64_t{v}) {}
  FormatArg(long v) : value(int64_t{v}) {}
  FormatArg(long long v) : value(int64_t{v}) {}
};

using FormatArgs = std::initializer_list<FormatArg>;

std::string Format(const std::string& format, FormatArgs args);
