#include "ftp/LineEnds.h"

std::string_view LineEndsToWire::Convert(const char* data, size_t n) {
  out_.clear();
  for (size_t i = 0; i < n; ++i) {
    if (data[i] == '\n' && !afterCR_) out_ += '\r';
    out_ += data[i];
    afterCR_ = data[i] == '\r';
  }
  return out_;
}

std::string_view LineEndsFromWire::Convert(const char* data, size_t n) {
  out_.clear();
  for (size_t i = 0; i < n; ++i) {
    if (heldCR_ && data[i] != '\n') out_ += '\r';
    heldCR_ = data[i] == '\r';
    if (!heldCR_) out_ += data[i];
  }
  return out_;
}

std::string_view LineEndsFromWire::Finish() {
  out_.clear();
  if (heldCR_) out_ += '\r';
  return out_;
}
