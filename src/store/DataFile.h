#pragma once

#include "base/RunError.h"
#include "store/FileStamp.h"
#include "store/NoticeTable.h"
#include "store/TextCodec.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace DataFile {

QString fileName();                 // "Pirune.dat"
QString pathIn(const QString &dir); // the Data file in that folder

// Creates an empty file when none exists; an existing file is not touched.
void ensureExists(const QString &path);

QByteArray readAll(const QString &path);

// What went wrong with one line: its notice and its first field that did not fit.
struct LoadIssue {
    qint32 line; // the notice it became
    qint32 field;
    RunError error;
    QString text; // the line as read
};

// Appends one notice per line of `bytes` to the table; the encoding found goes to `enc`. A line
// with too many fields keeps its first ones; what went wrong is returned, in line order. A line
// whose first three fields are blank is no notice.
QList<LoadIssue> load(const QByteArray &bytes, NoticeTable &t, FileEncoding &enc);

// The file's bytes for the table. Throws on a character `enc` cannot hold.
QByteArray serialize(const NoticeTable &t, FileEncoding enc);

// How a write went.
struct WriteResult {
    bool moved = false;             // the file changed before it was replaced: nothing written
    bool inPlace = false;           // written through the old file, which is not crash-safe
    std::optional<FileStamp> stamp; // of the file written, from its own descriptor
};

// Replaces the file with `bytes` only once they are completely on disk, with the old file's
// owner, group, mode and extended attributes (ACLs among them). Where those cannot be kept, or no
// new file can be made beside it, writes the file in place, its old contents kept until the new
// ones are on disk. `unchanged`, asked just before the file is replaced, tells whether it is still
// the one the bytes were made from; if not, nothing is written. Throws RunError on failure.
WriteResult writeAtomically(const QString &path, const QByteArray &bytes,
                            const std::function<bool()> &unchanged = {});

// The end of a save's temporary file name beside the Data file, new at each call: ".save-" and six
// random letters or digits, by which removeLeftTemporaries() knows the file.
QByteArray temporarySuffix();

// Removes the temporary files a save that was killed half-way left beside the Data file.
void removeLeftTemporaries(const QString &path);

} // namespace DataFile
