#pragma once

#include <QByteArray>
#include <QString>

// Loads bytes as the program reads its Data file, saves the table, loads that again and saves
// once more. Returns an empty string when no byte of a field was lost in reading, the second load
// gives the same notices and the second save the same bytes; otherwise what went wrong.
// `ambiguous` is set for a CP932 file that saving turns into valid UTF-8 (the next start reads it
// as UTF-8); for those only the bytes are compared.
QString roundTripFault(const QByteArray &bytes, bool *ambiguous = nullptr);

// Message boxes raised while loading (a line with four or more fields) are answered silently.
void silenceMessageBoxes();
