// Decoding runs through the main window's handlers: "Open" with an answered file dialog,
// the scroll bar, "Write TLM File", the run's messages, dropping a file and the clean-up at
// exit. Logs come from the test log generator; expected files are built from what it wrote.

#include "filechooser.h"
#include "form1.h"
#include "form1_fixture.h"
#include "form2.h"
#include "info.h"
#include "log_generator.h"
#include "parameterchart.h"
#include "program_state.h"
#include "recordview.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <memory>
#include <sys/stat.h>

using namespace kesta;

namespace {

using fixture::FakeChooser;
using fixture::readAll;
using fixture::writeFile;

// Takes the run's messages instead of showing message boxes.
class RecordingNotifier : public RunNotifier
{
public:
    struct Note
    {
        Severity severity;
        QString text;
    };
    QList<Note> notes;
    void notify(QWidget *, Severity severity, const QString &, const QString &text) override
    {
        notes.append({severity, text});
    }
};

// A generated log and what a run of it must leave behind.
struct TestLog
{
    QByteArray bytes;
    QByteArray dump;             // one hex line per accepted frame
    QList<QByteArray> messages;  // the 65 message bytes of every FSS message frame
    QList<QByteArray> hexFrames; // hex text of accepted frames, in order
    kesta::loggen::GeneratedLogSummary summary;
};

TestLog makeLog(const kesta::loggen::GeneratorOptions &options)
{
    TestLog log;
    const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options, &log.summary);
    kesta::loggen::LogGenerator generator(options, [&](const kesta::loggen::GeneratedFrame &f) {
        if (f.kind == kesta::loggen::FrameKind::Oversized)
            return;
        const QByteArray frame(reinterpret_cast<const char *>(f.bytes.data()),
                               static_cast<qsizetype>(f.bytes.size()));
        const QByteArray hex = frame.toHex().toUpper();
        log.hexFrames.append(hex);
        log.dump += hex + "\r\n";
        if (f.kind == kesta::loggen::FrameKind::FssMessage && frame.size() >= 85)
            log.messages.append(frame.mid(20, 65));
    });
    std::vector<std::uint8_t> again;
    while (generator.next(again)) {
    }
    log.bytes = QByteArray(reinterpret_cast<const char *>(bytes.data()),
                           static_cast<qsizetype>(bytes.size()));
    return log;
}

TestLog makeLog(std::uint64_t frames, std::uint64_t seed = 7)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    options.seed = seed;
    return makeLog(options);
}

QByteArray tlmText(const QString &logPath, const QList<QByteArray> &messages)
{
    QByteArray text = "KESTA-1 Telemetry Decoder by Orvan\r\n"
                      "==================================\r\n"
                      "File: " +
                      QFile::encodeName(logPath) + "\r\n\r\n";
    for (const QByteArray &message : messages)
        text += message + "\r\n\r\n";
    return text;
}

} // namespace

class TestForm1Run : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<kesta::ProgramState> state;
    std::unique_ptr<Form1> form;
    FakeChooser chooser;
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
    QString path(const QString &name) const { return folder->filePath(name); }

    // Writes `log` as `name` into the folder and opens it through "Open".
    QString open(const TestLog &log, const QString &name = QStringLiteral("pass1.kss"))
    {
        const QString logPath = path(name);
        if (!QFile::exists(logPath))
            writeFile(logPath, log.bytes);
        chooser.answer = logPath;
        form->menuFileOpen();
        settle();
        return logPath;
    }
    // Waits for the run that is going on, if any, to end and give its message.
    void settle() { QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000); }
    QStringList folderEntries() const
    {
        return QDir(folder->path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase()
    {
        // Opened logs go to the recent files: the test's own settings, not the user's.
        QStandardPaths::setTestModeEnabled(true);
    }
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        state = std::make_unique<kesta::ProgramState>();
        form = std::make_unique<Form1>(*state);
        chooser = FakeChooser();
        notifier.notes.clear();
        form->setFileChooser(&chooser);
        form->setNotifier(&notifier);
    }
    void cleanup()
    {
        form.reset();
        state.reset();
        folder.reset();
    }

    void openShowsRecordOneAndChartOfModeStatus()
    {
        const TestLog log = makeLog(57);
        const QString logPath = open(log);
        QCOMPARE(chooser.asked, 1);
        QVERIFY2(notifier.notes.isEmpty(), qPrintable(notifier.notes.value(0).text));

        QCOMPARE(text2(), QStringLiteral("#1 / 57"));
        QVERIFY(scrollBar()->isEnabled());
        QCOMPARE(scrollBar()->minimum(), 1);
        QCOMPARE(scrollBar()->maximum(), 57);
        QCOMPARE(scrollBar()->value(), 1);
        QCOMPARE(rawFrame(), QString::fromLatin1(log.hexFrames.at(0)));
        QCOMPARE(control<QLabel>(QStringLiteral("Label4"))->text(),
                 QString::fromLatin1(kesta::KindText(state->store[1].FrameKind)));
        QVERIFY(!control<QLabel>(QStringLiteral("Label4"))->text().isEmpty());
        QCOMPARE(control<QLabel>(QStringLiteral("Label5"))->text(),
                 QStringLiteral("HTRX: %1    FSS: %2    FSS (Hi): %3")
                     .arg(log.summary.htrxFrames)
                     .arg(log.summary.fssFrames)
                     .arg(log.summary.fssHiFrames));

        QVERIFY(control<QRadioButton>(QStringLiteral("Option1_13"))->isChecked());
        QCOMPARE(control<QLineEdit>(QStringLiteral("Text1_13"))->palette().color(QPalette::Base),
                 QColor(255, 255, 192));
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame1"))->title(),
                 QStringLiteral("Mode Status    "));
        // Only the records whose frame carried the mode status are points, at their
        // record numbers; the others (HTRX frames) are no fake zeros.
        QList<QPointF> expected;
        for (int r = 1; r <= 57; ++r) {
            const kesta::TelemetryRecord &record = state->store[static_cast<std::int16_t>(r)];
            if (record.Written.test(kesta::Field::ModeStatus))
                expected.append(QPointF(r, record.ModeStatus));
        }
        QVERIFY(expected.size() > 0 && expected.size() < 57);
        QCOMPARE(form->chart()->points(), expected);
        QCOMPARE(form->chart()->rowCount(), 57);

        QCOMPARE(readAll(path(QStringLiteral("pass1.dmp"))), log.dump);
        QVERIFY(!log.messages.isEmpty());
        QCOMPARE(readAll(path(QStringLiteral("pass1.tlm"))), tlmText(logPath, log.messages));
        QCOMPARE(readAll(logPath), log.bytes);
        QVERIFY(!QApplication::overrideCursor());
    }

    void scrollBarStepsThroughRecords()
    {
        const TestLog log = makeLog(20);
        open(log);
        scrollBar()->setValue(5);
        QCOMPARE(text2(), QStringLiteral("#5 / 20"));
        QCOMPARE(rawFrame(), QString::fromLatin1(log.hexFrames.at(4)));
        QCOMPARE(form->movementFlagText().size(), 8);
        // The chart is not redrawn by stepping.
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame1"))->title(),
                 QStringLiteral("Mode Status    "));
    }

    void cancelEmptiesFirstFourBoxesOnly()
    {
        const TestLog log = makeLog(12);
        open(log);
        scrollBar()->setValue(3);
        const QString raw = rawFrame();
        const QString mode = form->valueText(13);
        const QByteArray dump = readAll(path(QStringLiteral("pass1.dmp")));
        chooser.answer.clear();
        form->menuFileOpen();
        settle();
        for (int i = 0; i <= 3; ++i)
            QVERIFY(form->valueText(i).isEmpty());
        QCOMPARE(form->valueText(13), mode);
        QCOMPARE(rawFrame(), raw);
        QCOMPARE(text2(), QStringLiteral("#3 / 12"));
        QCOMPARE(state->store.RecordCount, 12);
        QCOMPARE(readAll(path(QStringLiteral("pass1.dmp"))), dump);
        QVERIFY(notifier.notes.isEmpty());
    }

    void sameLogTwiceStartsItsFilesAfresh()
    {
        const TestLog log = makeLog(30);
        const QString logPath = open(log);
        scrollBar()->setValue(9);
        open(log);
        QCOMPARE(readAll(path(QStringLiteral("pass1.dmp"))), log.dump);
        QCOMPARE(readAll(path(QStringLiteral("pass1.tlm"))), tlmText(logPath, log.messages));
        // Back at record 1: position text, scroll bar and record agree.
        QCOMPARE(scrollBar()->value(), 1);
        QCOMPARE(text2(), QStringLiteral("#1 / 30"));
        QCOMPARE(rawFrame(), QString::fromLatin1(log.hexFrames.at(0)));
    }

    void shorterSecondLogNarrowsTheRange()
    {
        open(makeLog(40, 1), QStringLiteral("long.kss"));
        scrollBar()->setValue(40);
        const TestLog shorter = makeLog(10, 2);
        open(shorter, QStringLiteral("short.kss"));
        QCOMPARE(scrollBar()->maximum(), 10);
        QCOMPARE(scrollBar()->value(), 1);
        QCOMPARE(text2(), QStringLiteral("#1 / 10"));
        QCOMPARE(form->chart()->rowCount(), 10);
        QVERIFY(form->chart()->points().last().x() <= 10);
    }

    void writeTlmFileToggle()
    {
        auto *item = control<QAction>(QStringLiteral("WriteTLMFile"));
        form->toggleWriteTlmFile();
        QVERIFY(!item->isChecked());
        QVERIFY(!form->writeTlmFile());
        form->toggleWriteTlmFile();
        QVERIFY(item->isChecked());
        item->trigger(); // the menu item itself
        QVERIFY(!form->writeTlmFile());

        // A first run without the item: no TLM file, TlmPath stays empty.
        const TestLog log = makeLog(25);
        open(log);
        QVERIFY(!QFile::exists(path(QStringLiteral("pass1.tlm"))));
        QVERIFY(state->TlmPath.empty());
        QCOMPARE(readAll(path(QStringLiteral("pass1.dmp"))), log.dump);

        // With the item: the TLM file of this log.
        form->toggleWriteTlmFile();
        const QString logPath = open(log);
        QCOMPARE(QString::fromStdString(state->TlmPath), path(QStringLiteral("pass1.tlm")));
        QCOMPARE(readAll(path(QStringLiteral("pass1.tlm"))), tlmText(logPath, log.messages));
    }

    void logWithoutFramesGivesAnEmptyRange()
    {
        open(makeLog(5)); // the counts of this log must not stay on screen
        open(TestLog{}, QStringLiteral("empty.kss"));
        QCOMPARE(control<QLabel>(QStringLiteral("Label5"))->text(),
                 QStringLiteral("HTRX: 0    FSS: 0    FSS (Hi): 0"));
        QCOMPARE(state->store.RecordCount, 0);
        QVERIFY(scrollBar()->isEnabled());
        QCOMPARE(scrollBar()->minimum(), 1);
        QCOMPARE(text2(), QStringLiteral("#1 / 0"));
        QCOMPARE(form->chart()->rowCount(), 0);
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame1"))->title(),
                 QStringLiteral("Mode Status    "));
        // Said plainly, with the file's name: no frame is no telemetry log.
        QCOMPARE(notifier.notes.size(), 1);
        QCOMPARE(notifier.notes.at(0).severity, RunNotifier::Severity::Warning);
        QCOMPARE(notifier.notes.at(0).text,
                 path(QStringLiteral("empty.kss")) + QStringLiteral(" is empty: it holds no frame."));
    }

    // A picture renamed .kss is decoded as ever, with a plain word that it is no log.
    void fileOfAnotherKindIsSaidSo()
    {
        QByteArray picture;
        QBuffer buffer(&picture);
        buffer.open(QIODevice::WriteOnly);
        form->grab().toImage().save(&buffer, "PNG");
        const QString renamed = path(QStringLiteral("picture.kss"));
        QVERIFY(writeFile(renamed, picture));
        chooser.answer = renamed;
        form->menuFileOpen();
        QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000);
        QCOMPARE(notifier.notes.size(), 1);
        QCOMPARE(notifier.notes.at(0).severity, RunNotifier::Severity::Warning);
        QVERIFY2(notifier.notes.at(0).text.startsWith(
                     renamed + QStringLiteral(" is mostly not KISS frames of known kinds")),
                 qPrintable(notifier.notes.at(0).text));
        QVERIFY(QFile::exists(path(QStringLiteral("picture.dmp"))));
    }

    void exitCleansUpOnceAndClosesEveryWindow()
    {
        open(TestLog{}, QStringLiteral("empty.kss")); // an empty dump, a TLM file with its header
        const QString unrelated = path(QStringLiteral("unrelated.txt"));
        QVERIFY(writeFile(unrelated, {}));
        form->show();
        form->showMovementFlagWindow();
        form->showInfoWindow();
        QPointer<Form2> flags = form->movementFlagWindow();
        QPointer<Info> info = form->infoWindow();
        QVERIFY(flags && flags->isVisible());
        QVERIFY(info && info->isVisible());
        QSignalSpy closing(form.get(), &Form1::closing);

        form->menuFileExit();
        QCOMPARE(closing.count(), 1);
        QVERIFY(!form->isVisible());
        QVERIFY(!flags || !flags->isVisible());
        QVERIFY(!info || !info->isVisible());
        // Never filled: the empty dump and the TLM file of a header only.
        QVERIFY(!QFile::exists(path(QStringLiteral("empty.dmp"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("empty.tlm"))));
        QVERIFY(QFile::exists(unrelated));
        QVERIFY(QFile::exists(path(QStringLiteral("empty.kss"))));

        // A second close does not clean up again.
        QVERIFY(writeFile(path(QStringLiteral("empty.dmp")), {}));
        form->close();
        QVERIFY(QFile::exists(path(QStringLiteral("empty.dmp"))));
    }

    // The bits window explains the movement flag of an HTRX record; of a frame that did not
    // carry one it says so and explains nothing. It follows the scroll bar by itself.
    void bitsWindowExplainsOnlyACarriedFlag()
    {
        const TestLog log = makeLog(40);
        open(log);
        form->showMovementFlagWindow();
        Form2 *bits = form->movementFlagWindow();
        QVERIFY(bits);
        int seen = 0;
        for (int r = 1; r <= 40 && seen != 3; ++r) {
            scrollBar()->setValue(r);
            const kesta::TelemetryRecord &record = state->store[static_cast<std::int16_t>(r)];
            if (record.Written.test(kesta::Field::MovementFlag)) {
                seen |= 1;
                QCOMPARE(bits->text1()->text(), form->movementFlagText());
                QVERIFY(bits->label2(2)->text().contains(QStringLiteral("FSS")));
            } else {
                seen |= 2;
                QVERIFY(bits->text1()->text().isEmpty());
                QVERIFY2(bits->label2(0)->text().contains(QStringLiteral("did not carry")),
                         qPrintable(bits->label2(0)->text()));
                for (int k = 1; k < Form2::BitCount; ++k)
                    QVERIFY(bits->label2(k)->text().isEmpty());
            }
        }
        QCOMPARE(seen, 3); // the log has records of both
    }

    void secondaryWindowsAreSingleInstances()
    {
        auto *image4 = control<QWidget>(QStringLiteral("Image4"));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTest::mouseClick(image4, Qt::LeftButton, {}, QPoint(8, 8));
        Form2 *first = form->movementFlagWindow();
        QVERIFY(first && first->isVisible());
        QVERIFY(!first->parentWidget()); // no owner
        QTest::mouseClick(image4, Qt::LeftButton, {}, QPoint(8, 8));
        QCOMPARE(form->movementFlagWindow(), first);

        control<QAction>(QStringLiteral("MnuInfo"))->trigger();
        Info *info = form->infoWindow();
        QVERIFY(info && info->isVisible());
        control<QAction>(QStringLiteral("MnuInfo"))->trigger();
        QCOMPARE(form->infoWindow(), info);
    }

    void failedRunsChangeNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind"); // how the log is made unusable
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "gone.kss"
                                 << "missing"
                                 << "gone.kss";
        QTest::newRow("folder") << "folder.kss"
                                << "folder"
                                << "folder.kss";
        QTest::newRow("log named like its dump") << "pass.dmp"
                                                 << "log"
                                                 << "pass.dmp";
    }
    void failedRunsChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const TestLog first = makeLog(15);
        open(first);
        scrollBar()->setValue(2);
        const QString boxes = form->valueText(0) + form->valueText(2) + form->valueText(13);
        const QString raw = rawFrame();
        const QByteArray dump = readAll(path(QStringLiteral("pass1.dmp")));
        const TestLog other = makeLog(9, 3);
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir(folder->path()).mkdir(name));
        else if (kind == QLatin1String("log"))
            QVERIFY(writeFile(path(name), other.bytes));
        const QStringList before = folderEntries();

        chooser.answer = path(name);
        form->menuFileOpen();
        settle();

        QCOMPARE(notifier.notes.size(), 1);
        QCOMPARE(notifier.notes.at(0).severity, RunNotifier::Severity::Error);
        QVERIFY2(notifier.notes.at(0).text.contains(reason), qPrintable(notifier.notes.at(0).text));
        QCOMPARE(folderEntries(), before);
        if (kind == QLatin1String("log"))
            QCOMPARE(readAll(path(name)), other.bytes);
        QCOMPARE(state->store.RecordCount, 15);
        QCOMPARE(form->valueText(0) + form->valueText(2) + form->valueText(13), boxes);
        QCOMPARE(rawFrame(), raw);
        QCOMPARE(text2(), QStringLiteral("#2 / 15"));
        QCOMPARE(readAll(path(QStringLiteral("pass1.dmp"))), dump);
        QVERIFY(!QApplication::overrideCursor());
    }

    void outputThatCannotBeWrittenWarnsAndTheRunGoesOn()
    {
        QVERIFY(
            QDir(folder->path()).mkdir(QStringLiteral("pass1.dmp"))); // the dump's name is taken
        const TestLog log = makeLog(10);
        open(log);
        QCOMPARE(notifier.notes.size(), 1);
        QCOMPARE(notifier.notes.at(0).severity, RunNotifier::Severity::Warning);
        QVERIFY2(notifier.notes.at(0).text.contains(QStringLiteral("pass1.dmp")),
                 qPrintable(notifier.notes.at(0).text));
        QCOMPARE(text2(), QStringLiteral("#1 / 10"));
        QCOMPARE(rawFrame(), QString::fromLatin1(log.hexFrames.at(0)));
        QVERIFY(!QApplication::overrideCursor());
    }

    void droppedAndLimitFramesAreReportedOnce_data()
    {
        QTest::addColumn<bool>("oversized");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("said");
        QTest::newRow("oversized") << true << 200 << "longer than 512 bytes";
        QTest::newRow("beyond 1000") << false << 1004 << "4 frames beyond record 1000";
    }
    void droppedAndLimitFramesAreReportedOnce()
    {
        QFETCH(bool, oversized);
        QFETCH(int, frames);
        QFETCH(QString, said);
        kesta::loggen::GeneratorOptions options;
        options.frames = static_cast<std::uint64_t>(frames);
        options.oversized = oversized;
        const TestLog log = makeLog(options);
        if (oversized)
            QVERIFY(log.summary.oversizedFrames > 0);
        open(log);
        QCOMPARE(notifier.notes.size(), 1);
        const QString text = notifier.notes.at(0).text;
        QVERIFY2(text.contains(said), qPrintable(text));
        if (oversized)
            QVERIFY(text.contains(QString::number(log.summary.oversizedFrames)));
        QVERIFY(text.contains(QStringLiteral("dump file")));
        QCOMPARE(readAll(path(QStringLiteral("pass1.dmp"))), log.dump);
        QCOMPARE(scrollBar()->maximum(), std::min(log.hexFrames.size(), qsizetype(1000)));
    }

    void droppedFileIsOpened()
    {
        const TestLog log = makeLog(8);
        const QString logPath = path(QStringLiteral("dropped.kss"));
        QVERIFY(writeFile(logPath, log.bytes));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(logPath)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &drop);
        QTRY_COMPARE(text2(), QStringLiteral("#1 / 8"));
        QCOMPARE(chooser.asked, 0);
        QCOMPARE(readAll(path(QStringLiteral("dropped.dmp"))), log.dump);
    }

    // A FIFO that no program ever writes to: the run waits for it on its own thread, the
    // window answers, shows its progress, and Cancel or Exit end the wait at once, with
    // the earlier log on view and its files as they were.
    void slowInputCanBeCancelledOrLeft_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "Cancel";
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("Exit") << "Exit";
    }
    void slowInputCanBeCancelledOrLeft()
    {
        QFETCH(QString, how);
        const bool exit = how == QLatin1String("Exit");
        form->show(); // the bar and the message as the user sees them
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const TestLog log = makeLog(12);
        open(log);
        scrollBar()->setValue(4);
        const QByteArray dump = readAll(path(QStringLiteral("pass1.dmp")));
        const QByteArray tlm = readAll(path(QStringLiteral("pass1.tlm")));
        const QString fifo = path(QStringLiteral("pass1.dmp.kss"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(writeFile(path(QStringLiteral("pass1.dmp.dmp")), "an earlier dump\r\n"));

        chooser.answer = fifo;
        form->menuFileOpen();
        auto *progress = control<QProgressBar>(QStringLiteral("RunProgress"));
        QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible(), 5000);
        QVERIFY(form->isRunning());
        // The bar holds the longest text it shows for a log of hundreds of megabytes.
        QVERIFY2(progress->width() >=
                         progress->fontMetrics().horizontalAdvance(QStringLiteral("196.5 of 201.5 MB")),
                     qPrintable(QString::number(progress->width())));
        // The window answers without waiting for the FIFO: the run is over once the click
        // has been handled, its end signalled.
        QSignalSpy ended(form.get(), exit ? &Form1::closing : &Form1::runEnded);
        if (exit)
            form->menuFileExit();
        else if (how == QLatin1String("Esc")) {
            QApplication::setActiveWindow(form.get());
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
            QTest::keyClick(form.get(), Qt::Key_Escape);
        }
        else
            QTest::mouseClick(control<QPushButton>(QStringLiteral("CancelRun")), Qt::LeftButton);
        QVERIFY(!ended.isEmpty() || ended.wait(5000));
        QTRY_VERIFY(!form->isRunning());
        settle();

        QCOMPARE(readAll(path(QStringLiteral("pass1.dmp.dmp"))), QByteArray("an earlier dump\r\n"));
        QCOMPARE(readAll(path(QStringLiteral("pass1.dmp"))), dump);
        QCOMPARE(readAll(path(QStringLiteral("pass1.tlm"))), tlm);
        for (const QString &name : folderEntries())
            QVERIFY2(!name.endsWith(QStringLiteral(".kesta-part")), qPrintable(name));
        QCOMPARE(state->store.RecordCount, 12);
        QCOMPARE(QString::fromStdString(state->DmpPath), path(QStringLiteral("pass1.dmp")));
        if (!exit) {
            // Said whole: the record's fields step aside for the message.
            const QString said = form->statusBar()->currentMessage();
            QCOMPARE(said, QStringLiteral("Cancelled; the earlier files are unchanged."));
            QVERIFY(!control<QWidget>(QStringLiteral("RecordStatus"))->isVisible());
            QVERIFY2(form->statusBar()->fontMetrics().horizontalAdvance(said) <
                         form->statusBar()->width() - 16,
                     qPrintable(QString::number(form->statusBar()->width())));
            QCOMPARE(text2(), QStringLiteral("#4 / 12"));
            QCOMPARE(rawFrame(), QString::fromLatin1(log.hexFrames.at(3)));
            QVERIFY(notifier.notes.isEmpty());
        }
    }

    // Boxes of fields the shown frame did not carry keep their text but are greyed.
    void boxesOfFieldsNotCarriedAreGreyed()
    {
        const TestLog log = makeLog(40);
        open(log);
        for (int r = 1; r <= 40; ++r) {
            scrollBar()->setValue(r);
            const kesta::TelemetryRecord &record = state->store[static_cast<std::int16_t>(r)];
            const QColor rssi =
                control<QLineEdit>(QStringLiteral("Text1_2"))->palette().color(QPalette::Text);
            const QColor mode =
                control<QLineEdit>(QStringLiteral("Text1_13"))->palette().color(QPalette::Text);
            QCOMPARE(rssi == RecordView::NotCarriedColor, !record.Written.test(kesta::Field::Rssi));
            QCOMPARE(mode == RecordView::NotCarriedColor,
                     !record.Written.test(kesta::Field::ModeStatus));
            // A screen reader hears it too, and the grey stays readable (WCAG AA, 4.5:1).
            QCOMPARE(control<QLineEdit>(QStringLiteral("Text1_2"))->accessibleDescription().isEmpty(),
                     record.Written.test(kesta::Field::Rssi));
        }
        const auto luminance = [](const QColor &c) {
            auto linear = [](double v) {
                return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) +
                   0.0722 * linear(c.blueF());
        };
        for (const QColor &box : {QColor(255, 255, 255), QColor(255, 255, 192)}) {
            const double contrast = (luminance(box) + 0.05) /
                                    (luminance(RecordView::NotCarriedColor) + 0.05);
            QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
        }
    }

    void openLogWithoutTheDialog()
    {
        const TestLog log = makeLog(6);
        const QString logPath = path(QStringLiteral("named.kss"));
        QVERIFY(writeFile(logPath, log.bytes));
        form->openLog(logPath);
        settle();
        QCOMPARE(chooser.asked, 0);
        QCOMPARE(text2(), QStringLiteral("#1 / 6"));
        QCOMPARE(QString::fromStdString(state->InputPath), logPath);
    }
};

QTEST_MAIN(TestForm1Run)
#include "tst_form1_run.moc"
