#pragma once

#include <QDateTime>
#include <functional>

class QObject;

// Every "now" of the program comes from here so tests can move time.
namespace Clock {
QDateTime now();
void setFixed(const QDateTime &t);
void reset();

// Calls onChange, while context lives, whenever the wall clock is set (by hand, by NTP) or the
// machine wakes from suspend. Returns false where the system gives no such notice: there the
// caller has to keep reading the clock to notice.
bool watchChanges(QObject *context, std::function<void()> onChange);
// Delivers that notice as the system would.
void notifyChanged();
} // namespace Clock
