#include "base/TextMarks.h"

#include "base/RunError.h"

qint32 splitFields(const QString &text, const QString &delimiter, QStringList &result) {
    for (QString &slot : result)
        slot.clear();
    if (delimiter.size() != 1) {
        if (!text.isEmpty())
            at(result, 0) = text;
        return 1;
    }
    const QChar d = delimiter.at(0);
    qint32 k = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(d, start);
        const qsizetype stop = end < 0 ? text.size() : end;
        if (stop > start)
            at(result, k) = text.mid(start, stop - start);
        if (end < 0)
            return k + 1;
        ++k;
        start = end + 1;
    }
}

QString lineBreaksToMarks(const QString &text) {
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\n");
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString withoutTabs(QString text) {
    return text.remove(QLatin1Char('\t'));
}

QString marksToLineBreaks(const QString &text) {
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\') && i + 1 < text.size() &&
            text.at(i + 1) == QLatin1Char('n')) {
            out += QLatin1String("\r\n");
            ++i;
        } else {
            out += text.at(i);
        }
    }
    return out;
}
