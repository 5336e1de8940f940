#include "ftp/Format.h"

#include <vector>

std::string Format(const std::string& format, FormatArgs args) {
  std::vector<const FormatArg*> list;
  for (const FormatArg& a : args) list.push_back(&a);
  std::string out;
  out.reserve(format.size() + 32);
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    char kind = format[i + 1];
    if (kind == '%') {
      out += '%';
      ++i;
    } else if ((kind == 's' || kind == 'd') && next < list.size()) {
      const auto& v = list[next++]->value;
      if (const auto* s = std::get_if<std::string>(&v))
        out += *s;
      else
        out += std::to_string(std::get<int64_t>(v));
      ++i;
    } else {
      out += c;  // an unknown or unmatched specifier stands as written
    }
  }
  return out;
}
