// The episode that plays, against a stand-in for where it plays: where an
// episode starts and where it counts as ended, by the title's opening and
// ending and the point it was left at; speed kept per title; what is kept,
// across a restart on a real catalogue.

#include "library/episode_records.h"
#include "player/episode_session.h"
#include "store/catalogue.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QSignalSpy>

using namespace kinolark::player;

namespace {

// Plays nothing: the test moves the position and ends the episode.
class StandInTarget : public PlaybackTarget
{
public:
    void play(const QString &address, double start) override
    {
        m_address = address;
        m_position = start;
        m_state = State::Playing;
        played << start;
        emit stateChanged();
    }
    bool playFile(const QString &path, double start) override
    {
        play(path, start);
        return true;
    }
    void stop() override
    {
        if (m_state == State::Idle)
            return;
        m_state = State::Idle;
        emit stopped({m_address, m_position, m_duration, true, false});
        emit stateChanged();
    }
    void setPaused(bool paused) override
    {
        m_state = paused ? State::Paused : State::Playing;
        emit stateChanged();
    }
    void seekTo(double seconds) override { moveTo(seconds); }
    void seekBy(double seconds) override { moveTo(m_position + seconds); }
    bool setRate(double r) override
    {
        rate = r;
        return true;
    }
    void setVolume(int volume) override { m_volume = volume; }
    void setMuted(bool muted) override { m_muted = muted; }
    State state() const override { return m_state; }
    QString address() const override { return m_address; }
    double position() const override { return m_position; }
    double duration() const override { return m_duration; }
    int volume() const override { return m_volume; }
    bool muted() const override { return m_muted; }

    void load(double duration)
    {
        m_duration = duration;
        emit durationChanged(duration);
    }
    void moveTo(double seconds)
    {
        m_position = seconds;
        emit positionChanged(seconds);
    }
    void reachEnd()
    {
        m_position = m_duration;
        m_state = State::Ended;
        emit stopped({m_address, m_position, m_duration, true, true});
    }

    QList<double> played;
    double rate = 1;

private:
    State m_state = State::Idle;
    QString m_address;
    double m_position = 0, m_duration = 0;
    int m_volume = 100;
    bool m_muted = false;
};

class MemoryStore : public EpisodeStore
{
public:
    std::optional<double> resumePosition(qint64, int line, const QString &) override
    {
        return positions.contains(line) && positions.value(line) > 0 ? std::optional<double>(positions.value(line))
                                                                    : std::nullopt;
    }
    void savePosition(qint64, int line, const QString &, double position, double) override
    {
        positions[line] = position;
    }
    TitleSettings settings(qint64) override { return stored; }
    void saveSettings(qint64, const TitleSettings &settings) override { stored = settings; }
    Volume volume() override { return {}; }
    void saveVolume(const Volume &) override {}

    QHash<int, double> positions;
    TitleSettings stored;
};

const QVector<QString> addresses{"http://a/1.mp4", "", "http://a/2.mp4", "http://a/3.mp4"};
const QVector<QString> names{"第1集", "", "第2集", "第3集"};

} // namespace

Q_DECLARE_METATYPE(std::optional<double>)

class tst_EpisodeSession : public QObject
{
    Q_OBJECT

private slots:
    // Where an episode starts and where it counts as ended.
    void openingAndEnding_data()
    {
        QTest::addColumn<std::optional<double>>("opening");
        QTest::addColumn<std::optional<double>>("endingBefore");
        QTest::addColumn<bool>("skip");
        QTest::addColumn<double>("resume");     // 0: none kept
        QTest::addColumn<double>("duration");
        QTest::addColumn<int>("line");
        QTest::addColumn<double>("userSeek");   // -1: none
        QTest::addColumn<double>("startsAt");   // where the episode is once loaded
        QTest::addColumn<double>("endsAt");     // where it counts as ended; -1: only at its end
        QTest::addColumn<bool>("paused");       // paused for the countdown, else stopped

        const std::optional<double> none;
        QTest::newRow("nothing set") << none << none << true << 0.0 << 2700.0 << 0 << -1.0 << 0.0 << -1.0 << false;
        QTest::newRow("opening skipped") << std::optional<double>(90) << none << true << 0.0 << 2700.0 << 0 << -1.0
                                         << 90.0 << -1.0 << false;
        QTest::newRow("skipping off") << std::optional<double>(90) << std::optional<double>(120) << false << 0.0
                                      << 2700.0 << 0 << -1.0 << 0.0 << -1.0 << false;
        QTest::newRow("resume past the opening wins") << std::optional<double>(90) << none << true << 600.0 << 2700.0
                                                      << 0 << -1.0 << 600.0 << -1.0 << false;
        QTest::newRow("resume before the opening's end") << std::optional<double>(90) << none << true << 45.0
                                                         << 2700.0 << 0 << -1.0 << 90.0 << -1.0 << false;
        QTest::newRow("opening past a short episode") << std::optional<double>(90) << none << true << 0.0 << 60.0
                                                      << 0 << -1.0 << 0.0 << -1.0 << false;
        QTest::newRow("ending, next episode waits") << none << std::optional<double>(120) << true << 0.0 << 2700.0
                                                    << 0 << -1.0 << 0.0 << 2580.0 << true;
        QTest::newRow("ending of the last episode") << none << std::optional<double>(120) << true << 0.0 << 2700.0
                                                    << 3 << -1.0 << 0.0 << 2580.0 << false;
        QTest::newRow("ending of an episode of another length")
            << none << std::optional<double>(120) << true << 0.0 << 1500.0 << 0 << -1.0 << 0.0 << 1380.0 << true;
        QTest::newRow("a seek into the ending plays it") << none << std::optional<double>(120) << true << 0.0
                                                         << 2700.0 << 0 << 2600.0 << 0.0 << -1.0 << false;
        QTest::newRow("a seek short of the ending") << none << std::optional<double>(120) << true << 0.0 << 2700.0
                                                    << 0 << 2500.0 << 0.0 << 2580.0 << true;
        QTest::newRow("ending before the opening is none")
            << std::optional<double>(90) << std::optional<double>(80) << true << 0.0 << 150.0 << 0 << -1.0 << 90.0
            << -1.0 << false;
    }
    void openingAndEnding()
    {
        QFETCH(std::optional<double>, opening);
        QFETCH(std::optional<double>, endingBefore);
        QFETCH(bool, skip);
        QFETCH(double, resume);
        QFETCH(double, duration);
        QFETCH(int, line);
        QFETCH(double, userSeek);
        QFETCH(double, startsAt);
        QFETCH(double, endsAt);
        QFETCH(bool, paused);

        MemoryStore store;
        store.stored.openingEnd = opening;
        store.stored.endingBefore = endingBefore;
        store.stored.skip = skip;
        if (resume > 0)
            store.positions[line] = resume;
        StandInTarget target;
        EpisodeSession session(store, &target);
        session.setTitle(7, "天下", addresses, names);
        QSignalSpy ended(&session, &EpisodeSession::ended);
        QSignalSpy skipped(&session, &EpisodeSession::openingSkipped);
        QVERIFY(session.play(line, addresses.at(line)));
        QCOMPARE(target.played, QList<double>{resume});
        target.load(duration);
        QCOMPARE(target.position(), startsAt);
        QCOMPARE(skipped.size(), startsAt != resume ? 1 : 0);

        if (userSeek >= 0)
            session.seekTo(userSeek);
        // Playing on, a second at a time, to just before the end.
        for (double at = qMax(startsAt, userSeek) + 1; at < duration && ended.isEmpty(); at += 1)
            target.moveTo(at);
        if (endsAt < 0) {
            QVERIFY(ended.isEmpty());
            target.reachEnd();
            QCOMPARE(ended.size(), 1);
            return;
        }
        QCOMPARE(ended.size(), 1);
        QCOMPARE(target.position(), endsAt);
        QCOMPARE(target.state(), paused ? PlaybackTarget::State::Paused : PlaybackTarget::State::Idle);
        const auto next = ended.at(0).at(0).value<std::optional<int>>();
        QCOMPARE(next.has_value(), paused);
        // Watched: the next play starts from the beginning.
        QCOMPARE(store.positions.value(line, -1), 0.0);
        target.stop();
        QCOMPARE(store.positions.value(line, -1), 0.0);
    }

    // The next and previous lines that yield an episode.
    void nextAndPrevious()
    {
        MemoryStore store;
        StandInTarget target;
        EpisodeSession session(store, &target);
        session.setTitle(7, "天下", addresses, names);
        QSignalSpy asked(&session, &EpisodeSession::lineRequested);
        QVERIFY(!session.requestNext());
        QVERIFY(session.play(0, addresses.at(0)));
        QCOMPARE(session.nextLine(), std::optional<int>(2));
        QCOMPARE(session.previousLine(), std::nullopt);
        QVERIFY(session.requestNext());
        QCOMPARE(asked.takeFirst().at(0).toInt(), 2);
        QVERIFY(session.play(3, addresses.at(3)));
        QCOMPARE(session.nextLine(), std::nullopt);
        QCOMPARE(session.previousLine(), std::optional<int>(2));
        // Only the title's own address plays.
        QVERIFY(!session.play(2, "http://elsewhere/x.mp4"));
        QVERIFY(!session.play(1, QString()));
    }

    // A download of the episode plays in its place; what is kept is the
    // episode's, whichever played.
    void localCopy()
    {
        MemoryStore store;
        StandInTarget target;
        EpisodeSession session(store, &target);
        session.setTitle(7, "天下", addresses, names);
        QVERIFY(session.play(0, addresses.at(0), "/home/u/Videos/kinolark/天下/天下 - 第1集.mp4"));
        QCOMPARE(target.address(), "/home/u/Videos/kinolark/天下/天下 - 第1集.mp4");
        QCOMPARE(session.address(), addresses.at(0));
        target.load(2700);
        target.moveTo(600);
        session.stop();
        QCOMPARE(store.positions.value(0), 600.0);
        QVERIFY(session.play(0, addresses.at(0)));
        QCOMPARE(target.address(), addresses.at(0));
        QCOMPARE(target.played.last(), 600.0);
    }

    // Twenty steps up stop at the fastest; the speed is the title's, and
    // an opening marked past the ending clears the ending.
    void speedAndMarks()
    {
        MemoryStore store;
        StandInTarget target;
        EpisodeSession session(store, &target);
        session.setTitle(7, "天下", addresses, names);
        QVERIFY(session.play(0, addresses.at(0)));
        target.load(2700);
        for (int i = 0; i < 20; ++i)
            session.stepRate(1);
        QCOMPARE(session.rate(), 3.0);
        QCOMPARE(target.rate, 3.0);
        for (int i = 0; i < 20; ++i)
            session.stepRate(-1);
        QCOMPARE(session.rate(), 0.5);
        session.setRate(1.4);
        QCOMPARE(session.rate(), 1.5);
        QCOMPARE(store.stored.speed, 1.5);
        QVERIFY(session.play(2, addresses.at(2)));
        QCOMPARE(target.rate, 1.5);

        target.moveTo(2500);
        QVERIFY(session.markEndingStart().isEmpty());
        QCOMPARE(store.stored.endingBefore, std::optional<double>(200));
        target.moveTo(2600);
        QVERIFY(!session.markOpeningEnd().isEmpty());
        QCOMPARE(store.stored.openingEnd, std::optional<double>(2600));
        QCOMPARE(store.stored.endingBefore, std::nullopt);
        target.moveTo(100);
        QVERIFY(!session.markEndingStart().isEmpty());
        QCOMPARE(store.stored.openingEnd, std::nullopt);
        QCOMPARE(store.stored.endingBefore, std::optional<double>(2600));
    }

    // What is kept lives in the catalogue's user tables: speed, opening
    // and ending and volume come back after a restart, for that title alone.
    void keptAcrossARestart()
    {
        QTemporaryDir folder;
        const QString file = folder.filePath("data.db");
        {
            kinolark::store::Catalogue catalogue;
            QVERIFY(catalogue.open(file) == kinolark::store::Catalogue::OpenResult::Created);
            kinolark::library::EpisodeRecords records(catalogue.database());
            StandInTarget target;
            EpisodeSession session(records, &target);
            session.setTitle(7, "天下", addresses, names);
            QVERIFY(session.play(0, addresses.at(0)));
            target.load(2700);
            session.setRate(2);
            target.moveTo(90);
            session.markOpeningEnd();
            session.setVolume(35);
            session.setMuted(true);
            emit target.volumeChanged();
            target.moveTo(1000);
            session.stop();
        }
        kinolark::store::Catalogue catalogue;
        QVERIFY(catalogue.open(file) == kinolark::store::Catalogue::OpenResult::Opened);
        kinolark::library::EpisodeRecords records(catalogue.database());
        StandInTarget target;
        EpisodeSession session(records, &target);
        session.setTitle(7, "天下", addresses, names);
        QCOMPARE(session.rate(), 2.0);
        QCOMPARE(session.settings().openingEnd, std::optional<double>(90));
        QVERIFY(session.play(2, addresses.at(2)));
        QCOMPARE(target.rate, 2.0);
        QCOMPARE(target.volume(), 35);
        QVERIFY(target.muted());
        QVERIFY(session.play(0, addresses.at(0)));
        QCOMPARE(target.played.last(), 1000.0);
        session.setTitle(8, "别的", addresses, names);
        QCOMPARE(session.rate(), 1.0);
        QCOMPARE(session.settings().openingEnd, std::nullopt);
    }
};

QTEST_GUILESS_MAIN(tst_EpisodeSession)
#include "tst_episode_session.moc"
