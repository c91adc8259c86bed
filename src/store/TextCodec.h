#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

enum class FileEncoding { Cp932, Utf8, Utf8Bom };

// Byte <-> text for the Data file. Bytes that do not decode are kept as the lone surrogates
// U+DC80..U+DCFF and written back as the same bytes, so no byte of a file is ever lost.
namespace TextCodec {

FileEncoding detect(const QByteArray &bytes);
QByteArray bom(FileEncoding enc);

QString decode(QByteArrayView bytes, FileEncoding enc);

// Throws RunError::unencodable for the first character the encoding cannot hold.
QByteArray encode(QStringView text, FileEncoding enc);

std::optional<char32_t> firstUnencodable(QStringView text, FileEncoding enc);

bool isValidUtf8(QByteArrayView bytes);

} // namespace TextCodec
