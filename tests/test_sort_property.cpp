// SortItiranFast must leave every table exactly as the exchange sort below leaves it (all three
// arrays and the followed index), including among equal date-times, where that sort is unstable.

#include "store/NoticeTable.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>
#include <utility>

namespace {

// The exchange sort, written out here independently of the program's copy.
qint32 exchangeSort(NoticeTable &t, qint32 sel)
{
    for (qint32 i = 0; i < t.lngLast; ++i) {
        for (qint32 j = i + 1; j <= t.lngLast; ++j) {
            if (QStringView(t.arrJikoku[i]).compare(QStringView(t.arrJikoku[j])) > 0) {
                if (i == sel)
                    sel = j;
                else if (j == sel)
                    sel = i;
                std::swap(t.arrJikoku[i], t.arrJikoku[j]);
                std::swap(t.arrMes[i], t.arrMes[j]);
                std::swap(t.arrTuuti[i], t.arrTuuti[j]);
            }
        }
    }
    return sel;
}

// Few distinct keys so that runs of equal date-times are common; the odd ones are texts a
// hand-edited file may hold and compare by their characters like any other.
const QStringList &keyPool()
{
    static const QStringList pool = {
        QString(),
        QStringLiteral("2025/12/31 23:59"),
        QStringLiteral("2026/01/05 09:05"),
        QStringLiteral("2026/01/05 09:05"),
        QStringLiteral("2026/01/05 10:00"),
        QStringLiteral("2026/1/5 9:05"),
        QStringLiteral("2026/03/01 00:00"),
        QStringLiteral("2027/07/07 07:07"),
        QStringLiteral("あいう"),
    };
    return pool;
}

NoticeTable tableOf(const QStringList &keys, QRandomGenerator &rng)
{
    NoticeTable t;
    t.resizeTo(qint32(keys.size()) - 1);
    t.lngLast = qint32(keys.size()) - 1;
    t.lngCount = 7;
    for (qint32 i = 0; i <= t.lngLast; ++i) {
        t.arrJikoku[i] = keys.at(i);
        t.arrMes[i] = QStringLiteral("m%1").arg(i); // tells equal date-times apart
        t.arrTuuti[i] = rng.bounded(2) ? QStringLiteral("1") : QStringLiteral("0");
    }
    return t;
}

QStringList randomKeys(QRandomGenerator &rng, qint32 n, qint32 distinct)
{
    const QStringList &pool = keyPool();
    QStringList keys;
    for (qint32 i = 0; i < n; ++i)
        keys << pool.at(rng.bounded(qMin(distinct, qint32(pool.size()))));
    return keys;
}

QStringList sortedKeys(QRandomGenerator &rng, qint32 n, qint32 distinct)
{
    QStringList keys = randomKeys(rng, n, distinct);
    std::sort(keys.begin(), keys.end(), [](const QString &a, const QString &b) { return QStringView(a).compare(QStringView(b)) < 0; });
    return keys;
}

// Runs both sorts on copies of `t` and fails with the case described on any difference.
void check(const NoticeTable &t, qint32 sel, const char *what)
{
    NoticeTable expected = t;
    NoticeTable actual = t;
    const qint32 expectedSel = exchangeSort(expected, sel);
    const qint32 actualSel = SortItiranFast(actual, sel);
    if (actual.arrJikoku == expected.arrJikoku && actual.arrMes == expected.arrMes &&
        actual.arrTuuti == expected.arrTuuti && actualSel == expectedSel && actual.lngLast == t.lngLast &&
        actual.lngCount == t.lngCount)
        return;
    QString input;
    for (qint32 i = 0; i <= t.lngLast; ++i)
        input += QStringLiteral("[%1 %2] ").arg(t.arrJikoku.at(i), t.arrMes.at(i));
    QFAIL(qPrintable(QStringLiteral("%1: sel %2 -> %3 (expected %4); input %5; got %6; expected %7")
                         .arg(QString::fromLatin1(what))
                         .arg(sel)
                         .arg(actualSel)
                         .arg(expectedSel)
                         .arg(input, actual.arrMes.join(QLatin1Char(' ')), expected.arrMes.join(QLatin1Char(' ')))));
}

} // namespace

class TestSortProperty : public QObject
{
    Q_OBJECT
private slots:
    void knownUnstableOrder();
    void sortedTablesStayAsTheyAre();
    void oneNoticeAppended();
    void oneNoticeChangedAnywhere();
    void randomTables();
    void largeAppendTakesTheFastPath();
};

void TestSortProperty::knownUnstableOrder()
{
    QRandomGenerator rng(1);
    NoticeTable t = tableOf({QStringLiteral("B"), QStringLiteral("B"), QStringLiteral("A")}, rng);
    const qint32 sel = SortItiranFast(t, 2);
    QCOMPARE(t.arrMes, QStringList({QStringLiteral("m2"), QStringLiteral("m1"), QStringLiteral("m0")}));
    QCOMPARE(sel, 0);
}

void TestSortProperty::sortedTablesStayAsTheyAre()
{
    QRandomGenerator rng(11);
    for (qint32 n = 0; n <= 40; ++n) {
        for (int trial = 0; trial < 10; ++trial) {
            const NoticeTable t = tableOf(sortedKeys(rng, n, 2 + trial % 8), rng);
            for (qint32 sel = -1; sel <= n; ++sel)
                check(t, sel, "sorted");
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void TestSortProperty::oneNoticeAppended()
{
    QRandomGenerator rng(23);
    const QStringList &pool = keyPool();
    for (qint32 n = 0; n <= 40; ++n) {
        for (int trial = 0; trial < 8; ++trial) {
            const QStringList base = sortedKeys(rng, n, 2 + trial % 8);
            for (const QString &added : pool) {
                const NoticeTable t = tableOf(QStringList(base) << added, rng);
                check(t, n, "appended, followed");
                check(t, qint32(rng.bounded(n + 2)) - 1, "appended, other selection");
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }
}

void TestSortProperty::oneNoticeChangedAnywhere()
{
    QRandomGenerator rng(37);
    const QStringList &pool = keyPool();
    for (qint32 n = 1; n <= 40; ++n) {
        for (int trial = 0; trial < 6; ++trial) {
            const QStringList base = sortedKeys(rng, n, 2 + trial % 8);
            for (qint32 p = 0; p < n; ++p) {
                for (const QString &changed : pool) {
                    QStringList keys = base;
                    keys[p] = changed;
                    const NoticeTable t = tableOf(keys, rng);
                    check(t, p, "changed, followed");
                    check(t, qint32(rng.bounded(n + 2)) - 1, "changed, other selection");
                }
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }
    // Longer runs of equal date-times around every position.
    const QStringList base = sortedKeys(rng, 160, 3);
    for (qint32 p = 0; p < base.size(); ++p) {
        for (const QString &changed : pool.mid(0, 4)) {
            QStringList keys = base;
            keys[p] = changed;
            check(tableOf(keys, rng), p, "changed in a long table");
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void TestSortProperty::randomTables()
{
    QRandomGenerator rng(53);
    for (int trial = 0; trial < 20000; ++trial) {
        const qint32 n = qint32(rng.bounded(14));
        const NoticeTable t = tableOf(randomKeys(rng, n, 2 + trial % 8), rng);
        check(t, qint32(rng.bounded(n + 2)) - 1, "random");
        if (QTest::currentTestFailed())
            return;
    }
    // Nearly sorted: two or three notices out of place, which the fast path must not mistake for one.
    for (int trial = 0; trial < 5000; ++trial) {
        const qint32 n = 2 + qint32(rng.bounded(30));
        QStringList keys = sortedKeys(rng, n, 2 + trial % 8);
        const int moves = 2 + trial % 2;
        for (int k = 0; k < moves; ++k)
            keys[rng.bounded(n)] = keyPool().at(rng.bounded(keyPool().size()));
        check(tableOf(keys, rng), qint32(rng.bounded(n)), "two or three out of place");
        if (QTest::currentTestFailed())
            return;
    }
}

void TestSortProperty::largeAppendTakesTheFastPath()
{
    // The exchange sort needs minutes here; the editor's one-notice cases must not fall back to it.
    const qint32 n = 100000;
    const auto key = [](qint32 k) { return QStringLiteral("2026/01/01 00:00") + QString::number(100000 + k); };
    NoticeTable t;
    t.resizeTo(n);
    t.lngLast = n;
    for (qint32 i = 0; i <= n; ++i) {
        t.arrJikoku[i] = key(2 * i);
        t.arrMes[i] = QString::number(i);
        t.arrTuuti[i] = QStringLiteral("0");
    }
    t.arrJikoku[n] = key(2 * 50000 - 1);
    t.arrMes[n] = QStringLiteral("added");

    QElapsedTimer timer;
    timer.start();
    qint32 sel = SortItiranFast(t, n);
    QCOMPARE(sel, 50000);
    QCOMPARE(t.arrMes.at(sel), QStringLiteral("added"));
    QCOMPARE(t.arrMes.at(sel - 1), QStringLiteral("49999"));
    QCOMPARE(t.arrMes.at(sel + 1), QStringLiteral("50000"));
    QCOMPARE(t.arrMes.at(n), QString::number(n - 1));

    // ...and changed to a later date-time, it moves right past the smaller ones.
    t.arrJikoku[sel] = key(2 * 70000 + 1);
    sel = SortItiranFast(t, sel);
    QCOMPARE(sel, 70001);
    QCOMPARE(t.arrMes.at(sel), QStringLiteral("added"));
    QCOMPARE(t.arrMes.at(sel - 1), QStringLiteral("70000"));
    QCOMPARE(t.arrMes.at(sel + 1), QStringLiteral("70001"));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestSortProperty)
#include "test_sort_property.moc"
