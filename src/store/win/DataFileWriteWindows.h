#pragma once

#include "store/DataFile.h"

// The Windows way of DataFile::writeAtomically.
DataFile::WriteResult writeWindows(const QString &path, const QByteArray &bytes,
                                   const std::function<bool()> &unchanged);
