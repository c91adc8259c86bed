#include "base/mdl_Cmn.h"

#include "base/ErrorTrap.h"

ErrObject &Err() {
    static ErrObject err;
    return err;
}

namespace {
template <class Body>
auto guarded(const char *name, Body &&body, decltype(body()) onFailure) -> decltype(body()) {
    decltype(body()) result = onFailure;
    if (const auto failure = ErrorTrap::capture([&] { result = body(); })) {
        Cmn_ReportError(QString::fromLatin1(name), *failure);
        return onFailure;
    }
    return result;
}
} // namespace

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

qint32 Split(const QString &text, const QString &delimiter, QStringList &result) {
    return guarded(
        "Split", [&] { return splitFields(text, delimiter, result); }, 0);
}

QString Cmn_ConvCRLFtoMark(QString text) {
    return guarded(
        "Cmn_ConvCRLFtoMark",
        [&] {
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
        },
        QString());
}

QString Cmn_CutTab(QString text) {
    return guarded(
        "Cmn_CutTab", [&] { return text.remove(QLatin1Char('\t')); }, QString());
}

QString Cmn_ConvMarktoCRLF(QString text) {
    return guarded(
        "Cmn_ConvMarktoCRLF",
        [&] {
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
        },
        QString());
}

void Cmn_ReportError(const QString &name, const RunError &e) {
    Err().set(e.number(), e.description());
    Cmn_ErrorBox(name);
}

void Cmn_ErrorBox(const QString &name) {
    ErrObject &e = Err();
    if (e.number != 0) {
        MessageSeam::Box box;
        box.text = QStringLiteral("ｴﾗｰ番号 ") + QString::number(e.number) + QStringLiteral("  ") +
                   e.source + QStringLiteral(" ( ") + name +
                   QStringLiteral(" ) でｴﾗｰが発生しました。") + QLatin1Char('\r') + e.description;
        box.title = QStringLiteral("ｴﾗｰ");
        box.icon = MessageSeam::Icon::Critical;
        box.foreground = true;
        // Clear first: the box runs a nested event loop in which other code may raise errors.
        e.clear();
        MessageSeam::show(box);
    }
    e.clear();
}
