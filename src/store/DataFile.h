#pragma once

#include "store/NoticeTable.h"
#include "store/TextCodec.h"

#include <QByteArray>
#include <QString>

namespace DataFile {

QString fileName();                  // "Pirune.dat"
QString pathIn(const QString &dir); // the Data file in that folder

// Creates an empty file when none exists; an existing file is not touched.
void ensureExists(const QString &path);

QByteArray readAll(const QString &path);

// Appends one notice per line of `bytes` to the (reset) table; the encoding found goes to `enc`.
void load(const QByteArray &bytes, NoticeTable &t, FileEncoding &enc);

// The file's bytes for the table; walks it with lngCount. Throws on a character `enc` cannot hold.
QByteArray serialize(NoticeTable &t, FileEncoding enc);

// Replaces the file with `bytes` only once they are completely on disk.
void writeAtomically(const QString &path, const QByteArray &bytes);

} // namespace DataFile
