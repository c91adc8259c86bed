#pragma once

#include "app/MessageSeam.h"
#include "app/RunError.h"

#include <exception>

namespace ErrorTrap {

inline QString text(const char *label, const RunError &e)
{
    return QString::fromUtf8(label) + QString::number(e.number()) + QStringLiteral(" / Msg:") + e.description();
}

inline void report(const char *label, const RunError &e)
{
    MessageSeam::okBox(text(label, e));
}

// Runs body; a failure inside it is shown in the trap box and the procedure ends there.
// Returns true when body ran to its end.
template <class Body>
bool run(const char *label, Body &&body) noexcept
{
    try {
        try {
            body();
            return true;
        } catch (const RunError &e) {
            report(label, e);
        } catch (const std::exception &e) {
            report(label, RunError::fromStd(e));
        } catch (...) {
            report(label, RunError(RunError::InternalError, QStringLiteral("内部エラーです。")));
        }
    } catch (...) {
        // Showing the box itself failed; the procedure still must not let the failure escape.
    }
    return false;
}

} // namespace ErrorTrap
