// SPDX-License-Identifier: MIT
// The seconds on the status line, on the real clock: whatever the panel
// does to count them cheaply, they are the whole seconds QDateTime::secsTo
// gives from the time in question to the current local date and time, in
// local time, UTC, offsets and time zones, across daylight-saving changes.
#include "paneltest.h"

#include <helvor/simulatedlight.h>

#include <QDateTime>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QTimeZone>
#include <QtTest>

#include <limits>
#include <time.h>

namespace {

enum TimeKind { Local, Utc, OffsetIndia, NewYork };

QDateTime secondsAgo(qint64 seconds, int kind)
{
    const QDateTime now = QDateTime::currentDateTime().addSecs(-seconds);
    switch (kind) {
    case Utc:
        return now.toUTC();
    case OffsetIndia:
        return now.toOffsetFromUtc(5 * 3600 + 1800);
    case NewYork:
        return now.toTimeZone(QTimeZone("America/New_York"));
    default:
        return now;
    }
}

qint64 saturated(qint64 seconds)
{
    return qBound<qint64>(std::numeric_limits<int>::min(), seconds, std::numeric_limits<int>::max());
}

// The seconds as the rule gives them, read now.
qint64 expectedSince(const QDateTime &since)
{
    return saturated(since.secsTo(QDateTime::currentDateTime()));
}

struct Line
{
    bool matched = false;
    qint64 phase = 0;
    bool hasDc = false;
    qint64 dc = 0;
};

Line parse(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(": (-?\\d+)(?: DC: (-?\\d+))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    Line line;
    line.matched = match.hasMatch();
    line.phase = match.captured(1).toLongLong();
    line.hasDc = match.capturedLength(2) > 0;
    line.dc = match.captured(2).toLongLong();
    return line;
}

} // namespace

class tst_StatusClock : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void phaseSeconds_data();
    void phaseSeconds();
    void actionSeconds_data();
    void actionSeconds();
    void timesChangeBetweenTicks_data();
    void timesChangeBetweenTicks();

protected:
    void initSuite() override;
    void initEach() override;
    void cleanupEach() override;

private:
    QWidget *openAt(const QDateTime &phaseChangeTime);
    void useZone(const QByteArray &zone);
    // The status line the tick before wrote.
    QString shown() const;

    QByteArray m_zone;
    bool m_zoneSet = false;
};

void tst_StatusClock::initSuite()
{
    m_zoneSet = qEnvironmentVariableIsSet("TZ");
    m_zone = qgetenv("TZ");
}

void tst_StatusClock::initEach()
{
    // The point of this suite: the real clock, not a test clock.
    Host::useRealClock();
}

void tst_StatusClock::cleanupEach()
{
    if (m_zoneSet)
        qputenv("TZ", m_zone);
    else
        qunsetenv("TZ");
    tzset();
}

QWidget *tst_StatusClock::openAt(const QDateTime &phaseChangeTime)
{
    m_light = own(new Helvor::SimulatedLight(5, QStringLiteral("Harbour")));
    m_light->setPhaseChangeTime(phaseChangeTime);
    m_panel = openPanel(m_light);
    return m_panel;
}

QString tst_StatusClock::shown() const
{
    return statusLabel(m_panel)->text();
}

void tst_StatusClock::useZone(const QByteArray &zone)
{
    if (zone.isEmpty())
        return;
    qputenv("TZ", zone);
    tzset();
}

void tst_StatusClock::phaseSeconds_data()
{
    addColumns<QByteArray, int, qint64>({"zone", "kind", "ago"});

    QTest::newRow("local time, 42 s ago") << QByteArray() << int(Local) << qint64(42);
    QTest::newRow("UTC, 42 s ago") << QByteArray() << int(Utc) << qint64(42);
    QTest::newRow("offset +05:30, 42 s ago") << QByteArray() << int(OffsetIndia) << qint64(42);
    QTest::newRow("New York time zone, 3 h ago") << QByteArray() << int(NewYork) << qint64(3 * 3600);
    QTest::newRow("local time in the future, clock set back") << QByteArray() << int(Local) << qint64(-90);
    // Half a year back crosses at least one change of daylight-saving time.
    QTest::newRow("Berlin local time, 200 days ago")
        << QByteArray("Europe/Berlin") << int(Local) << qint64(200 * 86400);
    QTest::newRow("Berlin zone, UTC 200 days ago") << QByteArray("Europe/Berlin") << int(Utc) << qint64(200 * 86400);
    QTest::newRow("New York local time, 100 days ago")
        << QByteArray("America/New_York") << int(Local) << qint64(100 * 86400);
    QTest::newRow("Lord Howe local time, 190 days ago")
        << QByteArray("Australia/Lord_Howe") << int(Local) << qint64(190 * 86400);
    QTest::newRow("a century ago saturates") << QByteArray() << int(Utc) << qint64(100) * 365 * 86400;
}

void tst_StatusClock::phaseSeconds()
{
    QFETCH(QByteArray, zone);
    QFETCH(int, kind);
    QFETCH(qint64, ago);

    useZone(zone);
    const QDateTime phaseChangeTime = secondsAgo(ago, kind);
    QVERIFY(phaseChangeTime.isValid());
    QWidget *panel = openAt(phaseChangeTime);
    QVERIFY(panel);

    // Taken on both sides of the tick: a second may turn over in between.
    const qint64 before = expectedSince(phaseChangeTime);
    Host::tick(panel);
    const qint64 after = expectedSince(phaseChangeTime);
    const Line line = parse(shown());
    QVERIFY2(line.matched, qPrintable(shown()));
    QVERIFY2(line.phase >= before && line.phase <= after,
             qPrintable(QStringLiteral("%1 not within %2..%3").arg(line.phase).arg(before).arg(after)));
    QVERIFY(!line.hasDc);
}

void tst_StatusClock::actionSeconds_data()
{
    addColumns<QByteArray, int, qint64>({"zone", "kind", "ago"});

    QTest::newRow("local time, 17 s ago") << QByteArray() << int(Local) << qint64(17);
    QTest::newRow("UTC, 17 s ago") << QByteArray() << int(Utc) << qint64(17);
    QTest::newRow("New York time zone, 1 h ago") << QByteArray() << int(NewYork) << qint64(3600);
    QTest::newRow("Berlin local time, 150 days ago")
        << QByteArray("Europe/Berlin") << int(Local) << qint64(150 * 86400);
    QTest::newRow("local time in the future, clock set back") << QByteArray() << int(Local) << qint64(-30);
}

void tst_StatusClock::actionSeconds()
{
    QFETCH(QByteArray, zone);
    QFETCH(int, kind);
    QFETCH(qint64, ago);

    useZone(zone);
    QWidget *panel = openAt(QDateTime());
    QVERIFY(panel);
    const QDateTime actionTime = secondsAgo(ago, kind);
    Host::d(panel)->lastActionTime = actionTime;

    const qint64 before = expectedSince(actionTime);
    Host::tick(panel);
    const qint64 after = expectedSince(actionTime);
    const Line line = parse(shown());
    QVERIFY2(line.matched && line.hasDc, qPrintable(shown()));
    // Without a phase change time the stage counts 0 s.
    QCOMPARE(line.phase, qint64(0));
    QVERIFY2(line.dc >= before && line.dc <= after,
             qPrintable(QStringLiteral("%1 not within %2..%3").arg(line.dc).arg(before).arg(after)));
}

void tst_StatusClock::timesChangeBetweenTicks_data()
{
    // Two ticks; before the second, the phase change time or the action
    // time becomes the second value. Same wall clock, other zone: another
    // instant unless the zones agree.
    addColumns<bool, QDateTime, QDateTime>({"action", "first", "second"});

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime wall(now.date().addDays(-3), QTime(12, 0));
    QTest::newRow("phase time moves on") << false << now.addSecs(-500) << now.addSecs(-20);
    QTest::newRow("action time moves on") << true << now.addSecs(-500) << now.addSecs(-20);
    QTest::newRow("phase time: same wall clock, another offset")
        << false << QDateTime(wall.date(), wall.time(), Qt::OffsetFromUTC, 3600)
        << QDateTime(wall.date(), wall.time(), Qt::OffsetFromUTC, -7200);
    QTest::newRow("action time: same wall clock, another offset")
        << true << QDateTime(wall.date(), wall.time(), Qt::OffsetFromUTC, -7200)
        << QDateTime(wall.date(), wall.time(), Qt::OffsetFromUTC, 3600);
    QTest::newRow("action time: local, then the same instant in UTC")
        << true << now.toLocalTime().addSecs(-75) << now.addSecs(-75);
    QTest::newRow("phase time becomes invalid") << false << now.addSecs(-75) << QDateTime();
}

void tst_StatusClock::timesChangeBetweenTicks()
{
    QFETCH(bool, action);
    QFETCH(QDateTime, first);
    QFETCH(QDateTime, second);

    QWidget *panel = openAt(action ? QDateTime() : first);
    QVERIFY(panel);
    if (action)
        Host::d(panel)->lastActionTime = first;

    for (const QDateTime &time : {first, second}) {
        if (action)
            Host::d(panel)->lastActionTime = time;
        else
            m_light->setPhaseChangeTime(time);
        const qint64 before = time.isValid() ? expectedSince(time) : 0;
        Host::tick(panel);
        const qint64 after = time.isValid() ? expectedSince(time) : 0;
        const Line line = parse(shown());
        QVERIFY2(line.matched, qPrintable(shown()));
        QCOMPARE(line.hasDc, action);
        const qint64 shown = action ? line.dc : line.phase;
        QVERIFY2(shown >= before && shown <= after,
                 qPrintable(QStringLiteral("%1 not within %2..%3").arg(shown).arg(before).arg(after)));
    }
}

QTEST_MAIN(tst_StatusClock)
#include "tst_statusclock.moc"
