#pragma once

#include "base/MessageSeam.h"
#include "base/RunError.h"

#include <optional>

namespace ErrorTrap {

inline QString text(const char *label, const RunError &e) {
    return QString::fromUtf8(label) + QString::number(e.number()) + QStringLiteral(" / Msg:") +
           e.description();
}

// Shows the trap box for a failure reported rather than thrown.
inline void report(const char *label, const RunError &e) {
    MessageSeam::okBox(text(label, e));
}

// Runs body; a failure inside it is shown in the trap box and the procedure ends there.
// Returns true when body ran to its end.
template <class Body> bool run(const char *label, Body &&body) noexcept {
    try {
        const std::optional<RunError> failure = captureFailure(body);
        if (!failure)
            return true;
        MessageSeam::okBox(text(label, *failure));
    } catch (...) {
        // Showing the box itself failed; the procedure still must not let the failure escape.
    }
    return false;
}

} // namespace ErrorTrap
