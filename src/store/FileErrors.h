#pragma once

#include "base/RunError.h"

#include <QFileInfo>
#include <QString>

#ifdef Q_OS_UNIX
#include <cerrno>

// What the user can do about it picks the error: make room, get the right, or else (`other`) look
// at the path or the device.
inline RunError failure(const QString &path, int err,
                        RunError (*other)(const QString &, const QString &)) {
    const QString text = qt_error_string(err);
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return RunError::diskFull(path, text);
    case EACCES:
    case EPERM:
    case EROFS:
        return RunError::permissionDenied(path, text);
    default:
        return other(path, text);
    }
}
#else
// QFile and QSaveFile keep the system's error number to themselves.
inline RunError failure(const QString &path, const QString &why) {
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (dir.exists() && !dir.isWritable())
        return RunError::permissionDenied(path, why);
    return RunError::pathAccess(path, why);
}
#endif
