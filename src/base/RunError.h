#pragma once

#include <QString>
#include <exception>
#include <optional>

// A run-time failure as the error trap reports it: a number and a Japanese description.
class RunError : public std::exception {
public:
    RunError(int number, QString description)
        : m_number(number), m_description(std::move(description)) {}
    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return "RunError"; }

    static RunError overflow(const QString &detail = {});
    static RunError outOfMemory();
    static RunError indexOutOfRange(const QString &detail = {});
    static RunError fileNotFound(const QString &path);
    static RunError ioError(const QString &path, const QString &systemText);
    static RunError diskFull(const QString &path, const QString &systemText);
    static RunError permissionDenied(const QString &path, const QString &systemText);
    static RunError pathAccess(const QString &path, const QString &systemText);
    static RunError unencodable(char32_t c);
    static RunError controlFailure(const QString &detail);
    static RunError refusedUnloadedFile(const QString &path);
    static RunError refusedUnreadFile(const QString &path);
    static RunError takenByAnother(const QString &path);
    static RunError fromStd(const std::exception &e);

    enum Number {
        Overflow = 6,
        OutOfMemory = 7,
        IndexOutOfRange = 9,
        InternalError = 51,
        FileNotFound = 53,
        DeviceIO = 57,
        DiskFull = 61,
        PermissionDenied = 70,
        PathFileAccess = 75,
        UnencodableCharacter = 1001,
        UnreadDataFile = 1002,
        ControlFailure = -2147467259,
    };

private:
    int m_number;
    QString m_description;
};

// Runs body; whatever it throws comes back as the error the program reports.
template <class Body> std::optional<RunError> captureFailure(Body &&body) {
    try {
        body();
    } catch (const RunError &e) {
        return e;
    } catch (const std::exception &e) {
        return RunError::fromStd(e);
    } catch (...) {
        return RunError(RunError::InternalError, QStringLiteral("内部エラーです。"));
    }
    return std::nullopt;
}

// Describes a character for the user, e.g. "「😀」(U+1F600)".
QString describeCharacter(char32_t c);

// Bounds-checked element access: an index outside the table is a reported failure, never a crash.
template <class List> auto &at(List &list, qsizetype i) {
    if (i < 0 || i >= list.size())
        throw RunError::indexOutOfRange();
    return list[i];
}
