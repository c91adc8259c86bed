#pragma once

#include <QString>
#include <QStringList>

// The pure text procedures of the Data file and the editor. They show nothing: see ErrorBox for
// the forms that report a failure.

// Splits text at a one-character delimiter into result, whose size the caller fixes. Throws
// RunError for a field that does not fit, the fields before it filled.
qint32 splitFields(const QString &text, const QString &delimiter, QStringList &result);

// A stored message is one line: each line break (CR LF or a lone CR) becomes the two characters
// "\n", and back again as CR LF.
QString lineBreaksToMarks(const QString &text);
QString marksToLineBreaks(const QString &text);
QString withoutTabs(QString text);
