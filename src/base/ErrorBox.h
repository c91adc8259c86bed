#pragma once

#include <QString>

class RunError;

// The "ｴﾗｰ" box of the text procedures: the error's number and description under the procedure's
// label (see ProcedureLabels.h).
void showErrorBox(const char *label, const RunError &e);

// The text procedures as the editor and the message windows call them: a failure (only running
// out of memory) is shown in the error box and gives an empty text.
QString lineBreaksToMarksOrReport(const QString &text);
QString withoutTabsOrReport(const QString &text);
QString marksToLineBreaksOrReport(const QString &text);
