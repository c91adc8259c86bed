#pragma once

#include <QString>
#include <optional>

// What tells one content of the Data file on disk from another without reading it.
struct FileStamp {
    qint64 device = 0, inode = 0, size = 0, modified = 0, changed = 0; // times in ns
    bool operator==(const FileStamp &o) const {
        return device == o.device && inode == o.inode && size == o.size && modified == o.modified &&
               changed == o.changed;
    }
    bool operator!=(const FileStamp &o) const { return !(*this == o); }
    // nullopt where there is no such file, or it is no regular file.
    static std::optional<FileStamp> of(const QString &path);
#ifdef Q_OS_UNIX
    // The file behind an open descriptor, wherever its name now leads.
    static std::optional<FileStamp> ofDescriptor(int fd);
#elif defined(Q_OS_WIN)
    // The file behind an open handle (one with at least FILE_READ_ATTRIBUTES).
    static std::optional<FileStamp> ofHandle(void *handle);
#endif
};
