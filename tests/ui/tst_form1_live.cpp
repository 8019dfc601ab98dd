// Live reception in the main window: a KISS TCP server inside the test sends generated
// frames, the window connects to it through "Connect..." (answered without the dialog) and
// shows them as they arrive. Expected files are built from what the generator wrote.

#include "connectdialog.h"
#include "decoding_run.h"
#include "filechooser.h"
#include "form1.h"
#include "form1_fixture.h"
#include "healthwatch.h"
#include "lightelementmap.h"
#include "livesession.h"
#include "log_generator.h"
#include "output_names.h"
#include "parameterchart.h"
#include "program_state.h"
#include "recordnavigator.h"
#include "recordstatus.h"
#include "recordtable.h"
#include "value_text.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace kesta;

namespace {

using fixture::FakeChooser;
using fixture::readAll;

// A generated pass: its bytes and the dump a decoder must write of it.
struct SentPass
{
    QByteArray bytes;
    QByteArray dump;
    kesta::loggen::GeneratedLogSummary summary;
};

SentPass makePass(std::uint64_t frames, bool timestamps = true, std::uint64_t seed = 11)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    options.seed = seed;
    options.timestamps = timestamps;
    SentPass pass;
    kesta::loggen::LogGenerator generator(options, [&](const kesta::loggen::GeneratedFrame &f) {
        const QByteArray frame(reinterpret_cast<const char *>(f.bytes.data()),
                               static_cast<qsizetype>(f.bytes.size()));
        pass.dump += frame.toHex().toUpper() + "\r\n";
    });
    std::vector<std::uint8_t> bytes;
    while (generator.next(bytes)) {
    }
    pass.summary = generator.summary();
    pass.bytes = QByteArray(reinterpret_cast<const char *>(bytes.data()),
                            static_cast<qsizetype>(bytes.size()));
    return pass;
}

QString counterText(const kesta::loggen::GeneratedLogSummary &s)
{
    return QString::fromStdString(kesta::CounterText(static_cast<std::int64_t>(s.htrxFrames),
                                                     static_cast<std::int64_t>(s.fssFrames),
                                                     static_cast<std::int64_t>(s.fssHiFrames)));
}

// A KISS TCP server on 127.0.0.1, as a demodulator or decoder program runs one.
class KissServer
{
public:
    KissServer() { server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return server.serverPort(); }
    // The window's connection, once it has come (10 s at most).
    QTcpSocket *waitForClient()
    {
        if (QTest::qWaitFor([this] { return server.hasPendingConnections(); }, 10000))
            client = server.nextPendingConnection();
        return client;
    }
    void send(const QByteArray &bytes)
    {
        client->write(bytes);
        client->flush();
    }
    // `bytes` in pieces of 1 to `largest` bytes, the event loop turning between them.
    void sendInPieces(const QByteArray &bytes, int largest)
    {
        QRandomGenerator random(5);
        for (qsizetype at = 0; at < bytes.size();) {
            const qsizetype n =
                std::min<qsizetype>(random.bounded(1, largest + 1), bytes.size() - at);
            send(bytes.mid(at, n));
            at += n;
            if (random.bounded(4) == 0)
                QCoreApplication::processEvents();
        }
    }

    QTcpServer server;
    QPointer<QTcpSocket> client;
};

// Answers the window's questions as the test says, and counts them.
class FakeQuestioner : public Questioner
{
public:
    bool answer = false;
    int asked = 0;
    bool ask(QWidget *, const QString &, const QString &) override
    {
        ++asked;
        return answer;
    }
};

class FakeConnectChooser : public ConnectChooser
{
public:
    std::optional<ConnectRequest> answer;
    std::optional<ConnectRequest> chooseConnection(QWidget *, bool) override { return answer; }
};

class RecordingNotifier : public RunNotifier
{
public:
    QStringList texts;
    void notify(QWidget *, Severity, const QString &, const QString &text) override
    {
        texts << text;
    }
};

} // namespace

class TestForm1Live : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<kesta::ProgramState> state;
    std::unique_ptr<Form1> form;
    std::unique_ptr<KissServer> server;
    FakeQuestioner questioner;
    FakeChooser chooser;
    FakeConnectChooser connectChooser;
    RecordingNotifier notifier;

    template <typename T> T *control(const QString &name) const
    {
        return form->findChild<T *>(name);
    }
    QString text2() const { return control<QLineEdit>(QStringLiteral("Text2"))->text(); }
    QScrollBar *scrollBar() const { return control<QScrollBar>(QStringLiteral("HScroll1")); }
    QString rawFrame() const
    {
        return control<QPlainTextEdit>(QStringLiteral("Text3_3"))->toPlainText();
    }
    QString liveState() const { return control<QLabel>(QStringLiteral("LiveState"))->text(); }
    QString recording() const { return folder->filePath(QStringLiteral("live.kss")); }
    QString dumpOf(const QString &log) const
    {
        return QString::fromStdString(kesta::DumpNameFor(log.toStdString()));
    }
    QString tlmOf(const QString &log) const
    {
        return QString::fromStdString(kesta::TlmNameFor(log.toStdString()));
    }
    static QString position(qint64 shown, qint64 total)
    {
        return QStringLiteral("#%1 / %2").arg(shown).arg(total);
    }

    // "Connect..." to `port`, recording into live.kss.
    bool connectByMenu(quint16 port)
    {
        connectChooser.answer =
            ConnectRequest{HostPort{QStringLiteral("127.0.0.1"), port}, recording(), true, {}};
        form->menuFileConnect();
        if (!form->liveSession())
            return false;
        form->liveSession()->setRetryUnitMilliseconds(20);
        return true;
    }
    // Connects to the test's server and waits for the connection.
    bool connectToServer()
    {
        return connectByMenu(server->port()) && server->waitForClient() &&
               QTest::qWaitFor([this] { return liveState().startsWith("Connected to 127.0.0.1"); },
                               10000);
    }

private slots:
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        state = std::make_unique<kesta::ProgramState>();
        form = std::make_unique<Form1>(*state);
        server = std::make_unique<KissServer>();
        QVERIFY(server->server.isListening());
        questioner = FakeQuestioner();
        chooser = FakeChooser();
        notifier.texts.clear();
        form->setQuestioner(&questioner);
        form->setFileChooser(&chooser);
        form->setConnectChooser(&connectChooser);
        form->setNotifier(&notifier);
    }
    void cleanup()
    {
        form.reset();
        server.reset();
        state.reset();
        folder.reset();
    }

    void framesInAnyChunksBecomeRecords_data()
    {
        QTest::addColumn<int>("largestPiece"); // 0: the whole pass in one write
        QTest::addColumn<bool>("timestamps");
        QTest::newRow("one write") << 0 << true;
        QTest::newRow("byte by byte") << 1 << true;
        QTest::newRow("uneven pieces") << 300 << true;
        QTest::newRow("bare frames, uneven pieces") << 150 << false;
    }
    void framesInAnyChunksBecomeRecords()
    {
        QFETCH(int, largestPiece);
        QFETCH(bool, timestamps);
        const SentPass pass = makePass(60, timestamps);
        QVERIFY(connectToServer());
        QVERIFY(control<QAction>(QStringLiteral("MenuFileDisconnect"))->isEnabled());
        QCOMPARE(text2(), position(0, 0));

        if (largestPiece == 0)
            server->send(pass.bytes);
        else
            server->sendInPieces(pass.bytes, largestPiece);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(60, 60), 10000);
        QCOMPARE(state->store.RecordCount, 60);
        QCOMPARE(control<QLabel>(QStringLiteral("Label5"))->text(), counterText(pass.summary));
        QCOMPARE(control<QLabel>(QStringLiteral("LiveCounts"))->text(),
                 QStringLiteral("60 frames"));
        QTRY_COMPARE_WITH_TIMEOUT(form->chart()->rowCount(), 60, 5000);

        form->menuFileDisconnect();
        QCOMPARE(liveState(), QStringLiteral("Disconnected"));
        QVERIFY(!form->isLive());
        QCOMPARE(readAll(dumpOf(recording())), pass.dump);
        QCOMPARE(text2(), position(60, 60)); // the session stays on view
    }

    void scrollBarFollowsTheNewestUntilMovedBack()
    {
        const SentPass first = makePass(10, true, 41);
        const SentPass later = makePass(30, true, 42);
        QVERIFY(connectToServer());
        server->send(first.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(10, 10), 10000);
        QCOMPARE(scrollBar()->value(), 10);

        scrollBar()->setValue(7); // the user goes back
        QCOMPARE(text2(), position(7, 10));
        const QString seventh = rawFrame();
        server->send(later.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(7, 40), 10000);
        QCOMPARE(scrollBar()->value(), 7);
        QCOMPARE(scrollBar()->maximum(), 40);
        QCOMPARE(rawFrame(), seventh);

        scrollBar()->setValue(scrollBar()->maximum()); // back on the newest: follows again
        const SentPass more = makePass(5, true, 12);
        server->send(more.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(45, 45), 10000);
        QCOMPARE(scrollBar()->value(), 45);
    }

    void sessionBeyondThousandFramesHoldsTheNewest()
    {
        const SentPass pass = makePass(1100);
        form->showRecordTable(); // open before the session: it follows the records that come
        QVERIFY(connectToServer());
        server->send(pass.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(1100, 1100), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(form->recordTable()->model()->rowCount(), 1000, 10000);
        QCOMPARE(scrollBar()->minimum(), 101);
        QCOMPARE(scrollBar()->maximum(), 1100);
        QCOMPARE(state->store.RecordCount, 1000);
        QCOMPARE(state->store.FirstNumber, 101);
        QCOMPARE(control<QLabel>(QStringLiteral("Label5"))->text(), counterText(pass.summary));

        // The chart shows the records held, at their session numbers.
        form->DrawParameterChart(0); // the HTRX counter: on HTRX frames only
        QCOMPARE(form->chart()->firstRow(), 101);
        QCOMPARE(form->chart()->rowCount(), 1000);
        QCOMPARE(form->chart()->divisionsPerLabel(), 50);
        const QList<QPointF> points = form->chart()->points();
        QVERIFY(!points.isEmpty());
        for (const QPointF &p : points)
            QVERIFY2(p.x() >= 101 && p.x() <= 1100, qPrintable(QString::number(p.x())));

        // The table and the map go by session numbers too: a row or a column chosen shows
        // that record.
        RecordTable *table = form->recordTable();
        QCOMPARE(table->view()->model()->index(0, RecordTableModel::RecordColumn).data().toInt(),
                 101);
        table->view()->setCurrentIndex(table->view()->model()->index(99, 0));
        QCOMPARE(text2(), position(200, 1100));
        form->showLightElementMap();
        QTest::keyClick(form->lightElementMap()->canvas(), Qt::Key_Home);
        const QString hover = form->lightElementMap()->hoverText();
        QVERIFY2(QRegularExpression(QStringLiteral("^Record 101\\D")).match(hover).hasMatch(),
                 qPrintable(hover));
        QTest::keyClick(form->lightElementMap()->canvas(), Qt::Key_Return);
        QCOMPARE(text2(), position(101, 1100));
        // So do the Record menu's commands, on from the first frame.
        RecordNavigator *navigator = form->navigator();
        QVERIFY(navigator->goToAction()->isEnabled());
        navigator->setNumberAsker([](QWidget *, int, int last) { return last - 50; });
        navigator->goToAction()->trigger();
        QCOMPARE(text2(), position(1050, 1100));
        QCOMPARE(form->chart()->shownRecord(), 1050); // the marker at its point
        const auto kindOf = [&](int number) {
            return state->store[static_cast<std::int16_t>(number - 100)].FrameKind;
        };
        const FrameKind kind = kindOf(1050);
        navigator->sameKind(1);
        QVERIFY2(scrollBar()->value() > 1050, qPrintable(text2()));
        QCOMPARE(kindOf(scrollBar()->value()), kind);

        // The oldest held record shown; a frame more pushes it out of the store.
        scrollBar()->setValue(101);
        QCOMPARE(text2(), position(101, 1100));
        const SentPass more = makePass(10, true, 13);
        server->send(more.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(111, 1110), 10000);
        QCOMPARE(scrollBar()->minimum(), 111);

        form->menuFileDisconnect();
        QCOMPARE(readAll(dumpOf(recording())), pass.dump + more.dump); // every frame

        // The recording opened as a log: records 1 to 1000 again, numbered from 1.
        chooser.answer = recording();
        form->menuFileOpen();
        QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000);
        QCOMPARE(text2(), position(1, 1000));
        QCOMPARE(scrollBar()->minimum(), 1);
        QCOMPARE(scrollBar()->maximum(), 1000);
        QCOMPARE(form->chart()->firstRow(), 1);
        QVERIFY(!form->liveSession());
        QVERIFY(control<QLabel>(QStringLiteral("LiveState"))->isHidden());
        scrollBar()->setValue(1000);
        QCOMPARE(text2(), position(1000, 1000));
    }

    // Limits in force judge a session's records as they are handed over.
    void sessionRecordsAreCheckedAgainstTheLimits()
    {
        const QString limits = folder->filePath(QStringLiteral("limits.toml"));
        QVERIFY(fixture::writeFile(limits, "[Rssi]\ncritical = [-1000000, -999999]\n"));
        QVERIFY(form->health()->loadLimitsFile(limits));
        const SentPass pass = makePass(30);
        QVERIFY(connectToServer());
        server->send(pass.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(30, 30), 10000);
        int carried = 0;
        for (std::int16_t i = 1; i <= state->store.RecordCount; ++i)
            carried += state->store[i].Written.test(kesta::Field::Rssi) ? 1 : 0;
        QVERIFY(carried > 0);
        QCOMPARE(form->health()->statusLabel()->accessibleName(),
                 QStringLiteral("Checking limits as records arrive: 0 records in warning, %1 in "
                                "critical")
                     .arg(carried));
    }

    void disconnectLeavesFilesThatTheRecordingReproduces_data()
    {
        QTest::addColumn<bool>("timestamps");
        QTest::newRow("server's timestamp frames") << true;
        QTest::newRow("bare frames") << false;
    }
    void disconnectLeavesFilesThatTheRecordingReproduces()
    {
        QFETCH(bool, timestamps);
        const SentPass pass = makePass(250, timestamps, 21);
        QVERIFY(connectToServer());
        server->sendInPieces(pass.bytes, 700);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(250, 250), 10000);
        form->menuFileDisconnect();
        QVERIFY(!control<QAction>(QStringLiteral("MenuFileDisconnect"))->isEnabled());
        QVERIFY(control<QAction>(QStringLiteral("MenuFileConnect"))->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(server->client->state() != QAbstractSocket::ConnectedState, 5000);

        const QByteArray liveDump = readAll(dumpOf(recording()));
        const QByteArray liveTlm = readAll(tlmOf(recording()));
        QCOMPARE(liveDump, pass.dump);
        QVERIFY(liveTlm.startsWith("KESTA-1 Telemetry Decoder"));

        kesta::ProgramState again;
        const kesta::RunReport report = kesta::RunDecoding(again, recording().toStdString(), true);
        QVERIFY(report.outcome == kesta::RunReport::Outcome::Decoded);
        QCOMPARE(report.totals.frames, std::uint64_t{250});
        QCOMPARE(readAll(dumpOf(recording())), liveDump);
        QCOMPARE(readAll(tlmOf(recording())), liveTlm);
    }

    void openWhileConnectedAsksFirst_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("stay connected") << false;
        QTest::newRow("end the session") << true;
    }
    void openWhileConnectedAsksFirst()
    {
        QFETCH(bool, answer);
        QVERIFY(connectToServer());
        questioner.answer = answer;
        form->menuFileOpen();
        QCOMPARE(questioner.asked, 1);
        QCOMPARE(chooser.asked, answer ? 1 : 0);
        QCOMPARE(form->isLive(), !answer);
        QCOMPARE(liveState().startsWith("Connected"), !answer);

        // Once the session has ended, "Open" asks nothing.
        form->menuFileDisconnect();
        form->menuFileOpen();
        QCOMPARE(questioner.asked, 1);
    }

    // "Exit" asks as "Open" does; the session and the window stay unless the user agrees.
    void exitWhileConnectedAsksFirst_data() { openWhileConnectedAsksFirst_data(); }
    void exitWhileConnectedAsksFirst()
    {
        QFETCH(bool, answer);
        form->show();
        QVERIFY(connectToServer());
        questioner.answer = answer;
        QSignalSpy closing(form.get(), &Form1::closing);
        form->menuFileExit();
        QCOMPARE(questioner.asked, 1);
        QCOMPARE(closing.count(), answer ? 1 : 0);
        QCOMPARE(form->isLive(), !answer);
        QCOMPARE(form->isVisible(), !answer);
    }

    void refusedConnectionIsRetried()
    {
        const quint16 port = server->port();
        server->server.close(); // nobody listens there now
        QVERIFY(connectByMenu(port));
        QTRY_VERIFY_WITH_TIMEOUT(liveState().startsWith("No connection ("), 10000);
        QVERIFY2(liveState().contains(" - retrying in "), qPrintable(liveState()));
        QVERIFY(form->isLive());
        QVERIFY(control<QAction>(QStringLiteral("MenuFileDisconnect"))->isEnabled());

        // The server comes up: the next attempt connects and frames arrive.
        QVERIFY(server->server.listen(QHostAddress::LocalHost, port));
        QVERIFY(server->waitForClient());
        QTRY_VERIFY_WITH_TIMEOUT(liveState().startsWith("Connected to 127.0.0.1"), 10000);
        const SentPass pass = makePass(5);
        server->send(pass.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(5, 5), 10000);
    }

    void waitingSessionCountsDownAndReconnectsNowWhenAsked()
    {
        const quint16 port = server->port();
        server->server.close();
        QVERIFY(connectByMenu(port));
        form->liveSession()->setRetryUnitMilliseconds(1000); // whole seconds to count down
        auto *reconnectNow = control<QAction>(QStringLiteral("MenuFileReconnectNow"));
        QTRY_VERIFY_WITH_TIMEOUT(liveState().endsWith(" - retrying in 2 s"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(liveState().endsWith(" - retrying in 1 s"), 10000);
        QVERIFY(liveState().startsWith("No connection ("));
        QVERIFY(reconnectNow->isEnabled());
        // The status bar speaks of the session, not of the log opened before.
        QCOMPARE(control<QLabel>(QStringLiteral("LogName"))->text(), QStringLiteral("live.kss"));
        QCOMPARE(control<QLabel>(QStringLiteral("LiveCounts"))->text(), QStringLiteral("0 frames"));
        QVERIFY(control<QLabel>(QStringLiteral("LoadSummary"))->isHidden());

        QVERIFY(server->server.listen(QHostAddress::LocalHost, port));
        reconnectNow->trigger();
        QVERIFY2(liveState().startsWith("Connecting to 127.0.0.1"), qPrintable(liveState()));
        QVERIFY(server->waitForClient());
        QTRY_VERIFY_WITH_TIMEOUT(liveState().startsWith("Connected to 127.0.0.1"), 10000);
        QVERIFY(!reconnectNow->isEnabled());

        const SentPass pass = makePass(5);
        server->send(pass.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(5, 5), 10000);
        QCOMPARE(control<QLabel>(QStringLiteral("ReceptionTime"))->text(),
                 RecordStatus::timeText(state->store[5].ReceptionTime));
        QVERIFY(!control<QAction>(QStringLiteral("MenuFileReload"))->isEnabled());
    }

    void unknownHostIsRetried()
    {
        connectChooser.answer = ConnectRequest{
            HostPort{QStringLiteral("no-such-station.invalid"), 8100}, recording(), true, {}};
        form->menuFileConnect();
        QVERIFY(form->liveSession());
        // A failed look-up, or no answer within the connect time-out.
        QTRY_VERIFY_WITH_TIMEOUT(liveState().startsWith("No connection ("), 15000);
        QVERIFY2(liveState().contains(" - retrying in "), qPrintable(liveState()));
        form->menuFileDisconnect();
        QCOMPARE(liveState(), QStringLiteral("Disconnected"));
        QVERIFY(notifier.texts.isEmpty());
    }

    void lostConnectionKeepsWhatCameAndTheFilesGoOn()
    {
        const SentPass first = makePass(30, true, 31);
        const SentPass second = makePass(20, true, 32);
        QVERIFY(connectToServer());
        server->send(first.bytes + second.bytes.left(40)); // the server dies mid-frame
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(30, 30), 10000);
        server->client->abort();
        QTRY_VERIFY_WITH_TIMEOUT(liveState().startsWith("Connection lost ("), 10000);
        QCOMPARE(text2(), position(30, 30));

        QVERIFY(server->waitForClient()); // retried
        server->send(second.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(50, 50), 10000);
        form->menuFileDisconnect();
        QCOMPARE(readAll(dumpOf(recording())), first.dump + second.dump);
        kesta::ProgramState again;
        QCOMPARE(kesta::RunDecoding(again, recording().toStdString(), true).totals.frames,
                 std::uint64_t{50});
    }

    void misbehavingServerNeitherFreezesNorLosesFrames_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("nothing at all") << QByteArray();
        QTest::newRow("text garbage") << QByteArray(200000, 'x');
        QByteArray endless(4 << 20, '\x55'); // a frame that never ends...
        endless.prepend("\xC0\x00", 2);
        QTest::newRow("endless frame") << endless; // ...until the pass's first FEND
    }
    void misbehavingServerNeitherFreezesNorLosesFrames()
    {
        QFETCH(QByteArray, before);
        QVERIFY(connectToServer());
        // The garbage makes no record, and the pass after it comes through whole.
        if (!before.isEmpty())
            server->send(before);
        QTest::qWait(300);
        QCOMPARE(text2(), position(0, 0));
        QVERIFY(liveState().startsWith("Connected to 127.0.0.1"));

        const SentPass pass = makePass(8);
        server->send(pass.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(8, 8), 10000);
        form->menuFileDisconnect();
        QCOMPARE(readAll(dumpOf(recording())), pass.dump);
    }

    void connectRefusesAnExistingRecording()
    {
        QFile existing(recording());
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("earlier pass");
        existing.close();
        QVERIFY(!connectByMenu(server->port()));
        QCOMPARE(notifier.texts.size(), 1);
        QVERIFY2(notifier.texts.at(0).contains("exists already"), qPrintable(notifier.texts.at(0)));
        QCOMPARE(readAll(recording()), QByteArray("earlier pass"));
        QVERIFY(!form->isLive());
    }

    void sessionWithoutFramesLeavesNoEmptyFiles_data()
    {
        QTest::addColumn<bool>("exit");
        QTest::newRow("disconnect") << false;
        QTest::newRow("exit") << true;
    }
    // Whether it ends by Disconnect or by Exit, a session that never got a frame
    // removes at once what it made: no empty recording, dump or TLM file waits for Exit.
    void sessionWithoutFramesLeavesNoEmptyFiles()
    {
        QFETCH(bool, exit);
        const quint16 port = server->port();
        server->server.close();
        QVERIFY(connectByMenu(port));
        QTRY_VERIFY_WITH_TIMEOUT(liveState().startsWith("No connection ("), 10000);
        QVERIFY(QFile::exists(recording()));
        if (exit) {
            questioner.answer = true; // "End it and exit?"
            form->menuFileExit();
        } else {
            form->menuFileDisconnect();
        }
        const QString tlm = QString(recording()).replace(QStringLiteral(".kss"), QStringLiteral(".tlm"));
        for (const QString &path : {recording(), dumpOf(recording()), tlm})
            QVERIFY2(!QFile::exists(path), qPrintable(path));
    }

    void exitEndsTheSessionCleanly()
    {
        const SentPass pass = makePass(12);
        QVERIFY(connectToServer());
        server->send(pass.bytes);
        QTRY_COMPARE_WITH_TIMEOUT(text2(), position(12, 12), 10000);
        questioner.answer = true; // "End it and exit?"
        form->menuFileExit();
        QCOMPARE(questioner.asked, 1);
        QCOMPARE(liveState(), QStringLiteral("Disconnected"));
        QCOMPARE(readAll(dumpOf(recording())), pass.dump);
    }
};

QTEST_MAIN(TestForm1Live)
#include "tst_form1_live.moc"
