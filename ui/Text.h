#pragma once
// The one conversion between the program's 8-bit texts and Qt's strings.
// Names and texts are UTF-8, as on the rest of the system. Bytes that are
// not valid UTF-8 (a listing from a server that speaks Latin-1, say) are
// shown as their Latin-1 characters, so every byte stays visible. Text that
// cannot be written as UTF-8 (a lone surrogate pasted into a box) is refused
// rather than changed.
#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <stdexcept>
#include <string>
#include <string_view>

inline QString ToQ(std::string_view text) {
  const QByteArrayView bytes(text.data(), static_cast<qsizetype>(text.size()));
  // A leading byte-order mark is part of the text, not a hint to drop.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                QStringDecoder::Flag::ConvertInitialBom);
  QString decoded = utf8.decode(bytes);
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(bytes);
}

// True when every surrogate stands in a pair, so the text has a UTF-8 form.
inline bool Encodable(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!text[i].isSurrogate()) continue;
    if (!text[i].isHighSurrogate() || i + 1 == text.size() || !text[i + 1].isLowSurrogate())
      return false;
    ++i;
  }
  return true;
}

// The UTF-8 bytes of a text. Text without a UTF-8 form is refused with an
// error for the handler's error box, which shows each stray surrogate as the
// replacement character.
inline std::string FromQ(const QString& text) {
  if (!Encodable(text)) {
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
      const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() &&
                        text[i + 1].isLowSurrogate();
      if (pair) {
        shown += text[i];
        shown += text[++i];
      } else {
        shown += text[i].isSurrogate() ? QChar(QChar::ReplacementCharacter) : text[i];
      }
    }
    throw std::runtime_error("'" + shown.toUtf8().toStdString() +
                             "' holds a character that cannot be written as UTF-8");
  }
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// A box filled from bytes remembers them: text left as it was shown reads
// back as the very same bytes, so a value that is not UTF-8 (a Latin-1
// password from an older settings file, say) is never changed by being shown.
inline constexpr const char* kShownBytes = "tarnexShownBytes";

template <typename Box>
void SetBytes(Box* box, std::string_view bytes) {
  box->setText(ToQ(bytes));
  box->setProperty(kShownBytes, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

template <typename Box>
std::string BytesOf(const Box* box) {
  const QByteArray shown = box->property(kShownBytes).toByteArray();
  if (ToQ(std::string_view(shown.constData(), static_cast<size_t>(shown.size()))) == box->text())
    return std::string(shown.constData(), static_cast<size_t>(shown.size()));
  return FromQ(box->text());
}
