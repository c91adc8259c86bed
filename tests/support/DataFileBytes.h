#pragma once

#include <QFile>
#include <QtTest>
#include <filesystem>

// Data file lines as Pirune writes them.
inline QByteArray lines(const QByteArrayList &rows) {
    return rows.join("\r\n") + "\r\n";
}

// The file's bytes; "<missing>" when there is none.
inline QByteArray bytesOf(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

// The Data file written as a sync client does: beside it, then renamed over it.
inline void writeBySync(const QString &path, const QByteArray &bytes) {
    writeFile(path + ".sync", bytes);
    std::error_code failed; // unlike std::rename, replaces the file on Windows too
    std::filesystem::rename(path.toStdU16String() + u".sync", path.toStdU16String(), failed);
    QVERIFY2(!failed, failed.message().c_str());
}
