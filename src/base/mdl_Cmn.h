#pragma once

#include <QString>
#include <QStringList>

// The pending run-time error that Cmn_ErrorBox reports and clears.
struct ErrObject {
    int number = 0;
    QString source;
    QString description;
    void set(int n, const QString &desc, const QString &src = QStringLiteral("Pirune")) {
        number = n;
        description = desc;
        source = src;
    }
    void clear() { *this = ErrObject(); }
};
ErrObject &Err();

class RunError;

// Splits text at a one-character delimiter into result, whose size the caller fixes. Throws
// RunError for a field that does not fit, the fields before it filled.
qint32 splitFields(const QString &text, const QString &delimiter, QStringList &result);
// The same, but returns 0 after reporting a field that does not fit.
qint32 Split(const QString &text, const QString &delimiter, QStringList &result);

QString Cmn_ConvCRLFtoMark(QString text);
QString Cmn_CutTab(QString text);
QString Cmn_ConvMarktoCRLF(QString text);
void Cmn_ErrorBox(const QString &name);
// Reports e in the box of procedure `name`, as Cmn_ErrorBox does for the pending error.
void Cmn_ReportError(const QString &name, const RunError &e);
