#pragma once

#include <QDateTime>

// Every "now" of the program comes from here so tests can move time.
namespace Clock {
QDateTime now();
void setFixed(const QDateTime &t);
void reset();
} // namespace Clock
