#include "base/Clock.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <vector>

#ifdef Q_OS_LINUX
#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include "base/win/ClockNotice.h"
#endif

namespace {
QDateTime g_fixed;

struct Watcher {
    QPointer<QObject> context;
    std::function<void()> onChange;
};
std::vector<Watcher> g_watchers;

#ifdef Q_OS_LINUX
// A timer on the wall clock that never expires but is cancelled whenever that clock is set,
// which the kernel also does on resume. The expiry lies far enough out to stay in the future
// under any offset a time-faking wrapper may add.
bool armCancelOnSet(int fd) {
    itimerspec far{};
    far.it_value.tv_sec = time_t(1) << 40;
    return timerfd_settime(fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &far, nullptr) == 0;
}

bool startKernelNotice() {
    static const bool started = [] {
        const int fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (fd < 0)
            return false;
        if (!armCancelOnSet(fd)) {
            close(fd);
            return false;
        }
        auto *notifier =
            new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [fd] {
            std::uint64_t expirations;
            if (read(fd, &expirations, sizeof expirations) < 0 && errno == EAGAIN)
                return;
            armCancelOnSet(fd);
            Clock::notifyChanged();
        });
        return true;
    }();
    return started;
}
#endif
} // namespace

QDateTime Clock::now() {
    return g_fixed.isValid() ? g_fixed : QDateTime::currentDateTime();
}

void Clock::setFixed(const QDateTime &t) {
    g_fixed = t;
}

void Clock::reset() {
    g_fixed = QDateTime();
}

bool Clock::watchChanges(QObject *context, std::function<void()> onChange) {
    g_watchers.push_back({context, std::move(onChange)});
#ifdef Q_OS_LINUX
    return startKernelNotice();
#elif defined(Q_OS_WIN)
    static const bool started = watchWindowsClock();
    return started;
#else
    return false;
#endif
}

void Clock::notifyChanged() {
    g_watchers.erase(std::remove_if(g_watchers.begin(), g_watchers.end(),
                                    [](const Watcher &w) { return w.context.isNull(); }),
                     g_watchers.end());
    // A watcher may add another while it runs.
    const auto watchers = g_watchers;
    for (const Watcher &w : watchers) {
        if (w.context)
            w.onChange();
    }
}
