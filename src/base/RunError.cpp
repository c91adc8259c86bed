#include "base/RunError.h"

#include <new>

namespace {
QString withDetail(const QString &text, const QString &detail) {
    return detail.isEmpty() ? text : text + QStringLiteral(" (") + detail + QLatin1Char(')');
}
QString withFile(const QString &text, const QString &path, const QString &systemText) {
    QString d = path;
    if (!systemText.isEmpty())
        d += QStringLiteral(": ") + systemText;
    return withDetail(text, d);
}
} // namespace

RunError RunError::overflow(const QString &detail) {
    return {Overflow, withDetail(QStringLiteral("オーバーフローしました。"), detail)};
}
RunError RunError::outOfMemory() {
    return {OutOfMemory, QStringLiteral("メモリが不足しています。")};
}
RunError RunError::indexOutOfRange(const QString &detail) {
    return {IndexOutOfRange,
            withDetail(QStringLiteral("インデックスが有効範囲にありません。"), detail)};
}
RunError RunError::fileNotFound(const QString &path) {
    return {FileNotFound, withFile(QStringLiteral("ファイルが見つかりません。"), path, {})};
}
RunError RunError::ioError(const QString &path, const QString &systemText) {
    return {DeviceIO, withFile(QStringLiteral("デバイス I/O エラーです。"), path, systemText)};
}
RunError RunError::diskFull(const QString &path, const QString &systemText) {
    return {DiskFull,
            withFile(QStringLiteral("ディスクの空き容量が不足しています。"), path, systemText)};
}
RunError RunError::permissionDenied(const QString &path, const QString &systemText) {
    return {PermissionDenied, withFile(QStringLiteral("書き込みできません。"), path, systemText)};
}
RunError RunError::pathAccess(const QString &path, const QString &systemText) {
    return {PathFileAccess,
            withFile(QStringLiteral("パス/ファイル アクセス エラーです。"), path, systemText)};
}
RunError RunError::unencodable(char32_t c) {
    return {UnencodableCharacter,
            QStringLiteral("文字%1はデータファイルの文字コードで保存できません。")
                .arg(describeCharacter(c))};
}
RunError RunError::controlFailure(const QString &detail) {
    return {ControlFailure,
            withDetail(QStringLiteral("コントロールの呼び出しに失敗しました。"), detail)};
}
RunError RunError::refusedUnloadedFile(const QString &path) {
    return {UnreadDataFile,
            withFile(QStringLiteral(
                         "起動時にデータファイルを最後まで読み込めなかったため、上書きしません。"
                         "データファイルを確認してから Pirune を起動し直してください。"),
                     path, {})};
}
RunError RunError::refusedUnreadFile(const QString &path) {
    return {UnreadDataFile,
            withFile(QStringLiteral("データファイルを最後まで読み込めなかったため、上書きしません。"
                                    "読み込めるようになると、保存を再開します。"),
                     path, {})};
}
RunError RunError::takenByAnother(const QString &path) {
    return {UnreadDataFile,
            withFile(QStringLiteral("別の Pirune がデータファイルを使い始めたため、保存しません。"
                                    "この Pirune を終了してください。"),
                     path, {})};
}
RunError RunError::fromStd(const std::exception &e) {
    if (dynamic_cast<const std::bad_alloc *>(&e))
        return outOfMemory();
    return {InternalError,
            QStringLiteral("内部エラーです。 (%1)").arg(QString::fromLocal8Bit(e.what()))};
}

QString describeCharacter(char32_t c) {
    const QString shown = c < 0x20 || QChar::isSurrogate(c) ? QString() : QString::fromUcs4(&c, 1);
    return QStringLiteral("「%1」(U+%2)")
        .arg(shown, QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}
