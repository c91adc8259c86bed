#include "base/ErrorBox.h"

#include "base/ErrorTrap.h"
#include "base/ProcedureLabels.h"
#include "base/TextMarks.h"

namespace {
template <class Body> QString orReport(const char *label, Body &&body) {
    QString result;
    if (const auto failure = captureFailure([&] { result = body(); })) {
        showErrorBox(label, *failure);
        return QString();
    }
    return result;
}
} // namespace

void showErrorBox(const char *label, const RunError &e) {
    MessageSeam::Box box;
    box.text = QStringLiteral("ｴﾗｰ番号 ") + QString::number(e.number()) +
               QStringLiteral("  Pirune ( ") + QString::fromUtf8(label) +
               QStringLiteral(" ) でｴﾗｰが発生しました。") + QLatin1Char('\r') + e.description();
    box.title = QStringLiteral("ｴﾗｰ");
    box.icon = MessageSeam::Icon::Critical;
    box.foreground = true;
    MessageSeam::show(box);
}

QString lineBreaksToMarksOrReport(const QString &text) {
    return orReport(Label::lineBreaksToMarks, [&] { return lineBreaksToMarks(text); });
}

QString withoutTabsOrReport(const QString &text) {
    return orReport(Label::withoutTabs, [&] { return withoutTabs(text); });
}

QString marksToLineBreaksOrReport(const QString &text) {
    return orReport(Label::marksToLineBreaks, [&] { return marksToLineBreaks(text); });
}
