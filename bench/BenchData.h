#pragma once

#include "store/NoticeTable.h"

#include <QByteArray>
#include <QDateTime>

// Tables shaped like a long-used one: sorted date-times 37 minutes apart with every 16th one
// repeated, the first quarter in the past and already shown, the rest pending in the future.
namespace BenchData {

NoticeTable table(qint32 count, const QDateTime &now = QDateTime::currentDateTime());
// The same table as the Data file's bytes (CP932, as a new file is written).
QByteArray fileBytes(qint32 count, const QDateTime &now = QDateTime::currentDateTime());

// The table sorted but for one notice: appended at the end as the editor's Add leaves it, or
// one in the middle given a later date-time as its Change does.
NoticeTable afterAdd(qint32 count);
NoticeTable afterChange(qint32 count);

// Gives the table its own storage so that timing never includes a copy-on-write.
void detach(NoticeTable &t);

} // namespace BenchData
