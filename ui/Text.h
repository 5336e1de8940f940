#pragma once
// The one conversion between the program's 8-bit texts and Qt's strings.
// Latin-1 maps every byte to one character and back, so a name typed into
// a box or shown from a server reaches the other side byte for byte.
#include <QByteArray>
#include <QString>
#include <string>

inline QString ToQ(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters outside Latin-1 (only possible when typed or pasted) become '?'.
inline std::string FromQ(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
