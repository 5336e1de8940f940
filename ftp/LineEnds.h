#pragma once
// Text transfers (TYPE A): a line ends in LF in a local file and in CR LF on
// the wire. Each converter works block by block and keeps the one byte of
// state a line end split between two blocks needs.
#include <cstddef>
#include <string>
#include <string_view>

// Local to wire: a bare LF becomes CR LF; a CR LF already there stays.
class LineEndsToWire {
public:
  // The wire bytes for the next block; valid until the next call.
  std::string_view Convert(const char* data, size_t n);

private:
  bool afterCR_ = false;
  std::string out_;
};

// Wire to local: CR LF becomes LF; a CR not followed by LF stays.
class LineEndsFromWire {
public:
  // The local bytes for the next block; valid until the next call. A CR at
  // the end of a block is held back until the next byte tells what it is.
  std::string_view Convert(const char* data, size_t n);
  // What is still held when the data ends (the last call).
  std::string_view Finish();

private:
  bool heldCR_ = false;
  std::string out_;
};
