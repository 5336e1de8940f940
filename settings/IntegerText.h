#pragma once
// Conversions between integers and the texts the program stores and types.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The standard integer conversion used where the program needs a number
// (the Port box, [index] next): optional blanks around the text, an optional
// sign and decimal digits, within the 32-bit signed range. Anything else,
// the empty text included, throws std::runtime_error with the text
// "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string& text);

// The same conversion without the error: std::nullopt when the text does not
// convert.
std::optional<int32_t> TryStrToInt(std::string_view text);

// How a stored number is read: a text longer than two characters that starts
// with "0x" or "0X" is hexadecimal (digits only, no sign); any other text is
// a decimal integer with an optional sign. Values outside the 32-bit signed
// range, empty text and anything else give std::nullopt (never a wrapped
// value).
std::optional<int32_t> ParseStoredNumber(std::string_view text);
