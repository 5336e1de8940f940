#pragma once
#include <string>

// Bytes 0..255 over and over, so a lost or moved byte shows.
inline std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xff);
  return s;
}
