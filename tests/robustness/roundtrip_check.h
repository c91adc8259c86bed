#pragma once

#include <QByteArray>
#include <QString>

// Loads bytes as the program reads its Data file and saves the table: no byte of a field may be
// lost, and loading and saving what was saved must give the same bytes. Returns what went wrong.
QString roundTripFault(const QByteArray &bytes);
