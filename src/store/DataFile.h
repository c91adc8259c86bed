#pragma once

#include "base/RunError.h"
#include "store/NoticeTable.h"
#include "store/TextCodec.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace DataFile {

QString fileName();                 // "Pirune.dat"
QString pathIn(const QString &dir); // the Data file in that folder

// Creates an empty file when none exists; an existing file is not touched.
void ensureExists(const QString &path);

QByteArray readAll(const QString &path);

// What went wrong with one line: its notice and its first field that did not fit.
struct LoadIssue {
    qint32 line;
    qint32 field;
    RunError error;
};

// Appends one notice per line of `bytes` to the table; the encoding found goes to `enc`. A line
// with too many fields keeps its first ones; what went wrong is returned, in line order.
QList<LoadIssue> load(const QByteArray &bytes, NoticeTable &t, FileEncoding &enc);

// The file's bytes for the table. Throws on a character `enc` cannot hold.
QByteArray serialize(const NoticeTable &t, FileEncoding enc);

// Replaces the file with `bytes` only once they are completely on disk.
void writeAtomically(const QString &path, const QByteArray &bytes);

} // namespace DataFile
