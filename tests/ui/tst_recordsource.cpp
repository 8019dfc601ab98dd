// The windows' record source on its own: a real log decoded on its thread, a live session
// fed by a KISS server on 127.0.0.1, and the record shown; everything seen through its
// signals, as the windows see it.

#include "decoding_run.h"
#include "form1_fixture.h"
#include "livesession.h"
#include "program_state.h"
#include "recordsource.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace kesta;

using kesta::RecordSource;

namespace {

using ResultPointer = std::shared_ptr<const kesta::RunResult>;

ResultPointer resultOf(const QSignalSpy &ended)
{
    return ended.isEmpty() ? nullptr : ended.last().at(0).value<ResultPointer>();
}

} // namespace

class TestRecordSource : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_state = std::make_unique<kesta::ProgramState>();
        m_source = std::make_unique<RecordSource>(*m_state);
        m_reset = std::make_unique<QSignalSpy>(m_source.get(), &RecordSource::recordsReset);
        m_appended = std::make_unique<QSignalSpy>(m_source.get(), &RecordSource::recordsAppended);
        m_shown = std::make_unique<QSignalSpy>(m_source.get(), &RecordSource::shownRecordChanged);
        m_ended = std::make_unique<QSignalSpy>(m_source.get(), &RecordSource::runEnded);
    }
    void cleanup()
    {
        m_reset.reset();
        m_appended.reset();
        m_shown.reset();
        m_ended.reset();
        m_source.reset();
        m_state.reset();
    }

    // A decoded log replaces the records once, before the run's end is told; a log that
    // cannot be read leaves them as they were.
    void logRunHandsOverItsRecords()
    {
        QVERIFY(decode(writeLog("pass.kss", 30)));
        QCOMPARE(m_reset->size(), 1);
        QCOMPARE(m_source->store().RecordCount, 30);
        const ResultPointer result = resultOf(*m_ended);
        QVERIFY(result && m_source->decodedRun() == result.get());
        QCOMPARE(m_state->InputPath, path("pass.kss").toStdString());

        m_source->showRecord(3);
        QCOMPARE(m_shown->size(), 1);
        QCOMPARE(m_shown->last().at(0).toLongLong(), 3);
        QCOMPARE(m_source->shownRecord(), &m_source->store()[3]);

        QVERIFY(decode(path("missing.kss")));
        QCOMPARE(resultOf(*m_ended)->report.outcome, kesta::RunReport::Outcome::LogUnreadable);
        QCOMPARE(m_reset->size(), 1);
        QCOMPARE(m_source->store().RecordCount, 30);
        QCOMPARE(m_source->shownRecord(), &m_source->store()[3]);
    }

    // A session's records arrive as appended signals whose numbers follow each other, also
    // when more arrive at once than the store holds; the store ends as the session's own.
    void sessionAppendsItsRecords_data()
    {
        QTest::addColumn<int>("frames");
        QTest::newRow("a few") << 12;
        QTest::newRow("more than the store holds") << 1500;
    }
    void sessionAppendsItsRecords()
    {
        QFETCH(int, frames);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        LiveOptions options;
        options.server = HostPort{QStringLiteral("127.0.0.1"), server.serverPort()};
        options.recordingPath = path("live.kss").toStdString();
        QString error;
        QVERIFY2(m_source->startLive(options, error), qPrintable(error));
        QCOMPARE(m_reset->size(), 1);
        QCOMPARE(m_source->store().RecordCount, 0);
        QVERIFY(m_source->isLive());

        QVERIFY(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 10000));
        QTcpSocket *client = server.nextPendingConnection();
        client->write(fixture::generatedLog(static_cast<std::uint64_t>(frames)));
        QTRY_COMPARE_WITH_TIMEOUT(m_source->recordTotal(), qint64(frames), 10000);

        qint64 next = 0;
        for (const QList<QVariant> &signal : *m_appended) {
            const qint64 first = signal.at(0).toLongLong();
            const int count = signal.at(1).toInt();
            QVERIFY2(first >= next && count > 0, qPrintable(QString::number(first)));
            next = first + count;
        }
        QCOMPARE(next, qint64(frames) + 1);
        const kesta::RecordStore &store = m_source->store();
        const kesta::RecordStore &own = m_source->liveSession()->records();
        QCOMPARE(store.lastNumber(), qint64(frames));
        QCOMPARE(store.RecordCount, std::min<int>(frames, kesta::RecordStore::MaxRecords));
        for (std::int16_t i = 1; i <= store.RecordCount; ++i)
            QCOMPARE(store[i].RawHex, own[i].RawHex);

        // A log decoded next ends the session and takes the store.
        QVERIFY(decode(writeLog("after.kss", 4)));
        QVERIFY(!m_source->liveSession());
        QCOMPARE(m_source->store().RecordCount, 4);
        QCOMPARE(m_reset->size(), 2);
    }

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    QString writeLog(const QString &name, std::uint64_t frames) const
    {
        const QString file = path(name);
        return fixture::writeFile(file, fixture::generatedLog(frames)) ? file : QString();
    }
    // Decodes `file` and waits for the run's end.
    bool decode(const QString &file)
    {
        kesta::RunRequest request;
        request.inputPath = file.toStdString();
        request.writeTlm = false;
        const qsizetype before = m_ended->size();
        return m_source->startRun(request) &&
               QTest::qWaitFor([&] { return m_ended->size() > before; }, 20000);
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<kesta::ProgramState> m_state;
    std::unique_ptr<RecordSource> m_source;
    std::unique_ptr<QSignalSpy> m_reset;
    std::unique_ptr<QSignalSpy> m_appended;
    std::unique_ptr<QSignalSpy> m_shown;
    std::unique_ptr<QSignalSpy> m_ended;
};

QTEST_MAIN(TestRecordSource)
#include "tst_recordsource.moc"
