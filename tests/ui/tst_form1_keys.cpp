// The main window from the keyboard: going through the records with the keys of the
// "Record" menu from any control, "Go to Record...", the status bar fields, "Reload" and
// "Recent Files", the Esc key of the secondary windows and the "i" button.

#include "filechooser.h"
#include "form1_fixture.h"
#include "form2.h"
#include "info.h"
#include "recentfiles.h"
#include "recordnavigator.h"
#include "recordstatus.h"
#include "screenfit.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <sys/stat.h>

using namespace kesta;

class TestForm1Keys : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<kesta::ProgramState> state;
    std::unique_ptr<Form1> form;

    template <typename T> T *control(const QString &name) const
    {
        return form->findChild<T *>(name);
    }
    QScrollBar *scrollBar() const { return control<QScrollBar>(QStringLiteral("HScroll1")); }
    int shown() const { return scrollBar()->value(); }
    QString text2() const { return control<QLineEdit>(QStringLiteral("Text2"))->text(); }

    QString writeLog(const QString &name, int frames, bool timestamps = true)
    {
        const QString path = folder->filePath(name);
        if (!fixture::writeFile(path, fixture::generatedLog(frames, timestamps)))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }
    void showActive()
    {
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        RecentFiles().clear();
        folder = std::make_unique<QTemporaryDir>();
        state = std::make_unique<kesta::ProgramState>();
        form = std::make_unique<Form1>(*state);
    }
    void cleanup()
    {
        form.reset();
        state.reset();
        folder.reset();
    }

    void keysStepThroughRecords_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        // 57 records. Every control that takes focus passes the keys on, the read-only
        // value boxes and the scroll bar included.
        for (const QString focus : {"Text1_0", "Text3_3", "HScroll1", "Option1_13", "Text2"}) {
            const QByteArray f = focus.toLatin1();
            QTest::newRow(f + " Right") << focus << int(Qt::Key_Right) << 1 << 2;
            QTest::newRow(f + " Left") << focus << int(Qt::Key_Left) << 5 << 4;
            QTest::newRow(f + " Left at 1") << focus << int(Qt::Key_Left) << 1 << 1;
            QTest::newRow(f + " PageDown") << focus << int(Qt::Key_PageDown) << 1 << 11;
            QTest::newRow(f + " PageDown near end") << focus << int(Qt::Key_PageDown) << 52 << 57;
            QTest::newRow(f + " PageUp") << focus << int(Qt::Key_PageUp) << 15 << 5;
            QTest::newRow(f + " Home") << focus << int(Qt::Key_Home) << 30 << 1;
            QTest::newRow(f + " End") << focus << int(Qt::Key_End) << 3 << 57;
        }
    }
    void keysStepThroughRecords()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, from);
        QFETCH(int, to);
        QVERIFY(fixture::openAndWait(*form, writeLog("keys.kss", 57)));
        showActive();
        scrollBar()->setValue(from);
        auto *target = control<QWidget>(focus);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(target, static_cast<Qt::Key>(key));
        QCOMPARE(shown(), to);
        QCOMPARE(text2(), QStringLiteral("#%1 / 57").arg(to));
        QCOMPARE(form->recordStatus()->timeLabel()->text(),
                 RecordStatus::timeText(state->store[static_cast<std::int16_t>(to)].ReceptionTime));
    }

    void shiftArrowsStillSelectText()
    {
        QVERIFY(fixture::openAndWait(*form, writeLog("keys.kss", 20)));
        showActive();
        auto *box = control<QLineEdit>(QStringLiteral("Text1_0"));
        box->setFocus();
        box->setCursorPosition(0);
        QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(shown(), 1);
        QCOMPARE(box->selectedText(), box->text().left(1));
    }

    void keysDoNothingWithoutLog()
    {
        showActive();
        QTest::keyClick(form.get(), Qt::Key_Right);
        QCOMPARE(shown(), 1);
        QVERIFY(text2().isEmpty());
        QVERIFY(!form->navigator()->goToAction()->isEnabled());
    }

    void ctrlArrowsFindTheSameFrameKind()
    {
        QVERIFY(fixture::openAndWait(*form, writeLog("kinds.kss", 80)));
        showActive();
        const auto kind = [this](int r) {
            const kesta::TelemetryRecord &record = state->store[static_cast<std::int16_t>(r)];
            return std::pair(record.Type, record.FrameKind);
        };
        scrollBar()->setFocus();
        for (int start : {1, 2, 3}) {
            scrollBar()->setValue(start);
            int next = start + 1;
            while (next <= 80 && kind(next) != kind(start))
                ++next;
            QVERIFY2(next <= 80, "the log has a second frame of each kind");
            QTest::keyClick(scrollBar(), Qt::Key_Right, Qt::ControlModifier);
            QCOMPARE(shown(), next);
            QTest::keyClick(scrollBar(), Qt::Key_Left, Qt::ControlModifier);
            QCOMPARE(shown(), start);
        }
        // No further record of the kind: the view stays.
        scrollBar()->setValue(80);
        int last = 80;
        QTest::keyClick(scrollBar(), Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(shown(), last);
    }

    void goToRecordAsksForTheNumber_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<int>("expected");
        QTest::newRow("42") << true << 42;
        QTest::newRow("cancelled") << false << 7;
    }
    void goToRecordAsksForTheNumber()
    {
        QFETCH(bool, accept);
        QFETCH(int, expected);
        QVERIFY(fixture::openAndWait(*form, writeLog("goto.kss", 57)));
        showActive();
        scrollBar()->setValue(7);
        int maximum = 0;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            maximum = dialog->intMaximum();
            dialog->setIntValue(42);
            if (accept)
                dialog->accept();
            else
                dialog->reject();
        });
        QTest::keyClick(control<QWidget>(QStringLiteral("Text1_3")), Qt::Key_G,
                        Qt::ControlModifier);
        QCOMPARE(maximum, 57);
        QCOMPARE(shown(), expected);
    }

    void statusBarShowsTimeFileAndLoadReport()
    {
        QVERIFY(fixture::openAndWait(*form, writeLog("pass1.kss", 57)));
        const RecordStatus *status = form->recordStatus();
        // The generator's pass starts at 2026-12-01T10:00:00.000Z.
        QVERIFY2(QRegularExpression(QStringLiteral("^2026-12-01 10:00:\\d\\d\\.\\d\\d\\d UTC$"))
                     .match(status->timeLabel()->text())
                     .hasMatch(),
                 qPrintable(status->timeLabel()->text()));
        QCOMPARE(status->timeLabel()->text(),
                 RecordStatus::timeText(state->store[1].ReceptionTime));
        QCOMPARE(status->fileLabel()->text(), QStringLiteral("pass1.kss"));
        QCOMPARE(status->loadLabel()->text(), QStringLiteral("57 frames · 57 timestamps"));
        QVERIFY(status->timeLabel()->isVisible() || !form->isVisible());
        QVERIFY(form->lastLoadReport().has_value());
        QCOMPARE(form->lastLoadReport()->reader.timestampFrames, 57u);

        QVERIFY(fixture::openAndWait(*form, writeLog("untimed.kss", 1, false)));
        QCOMPARE(status->timeLabel()->text(), QStringLiteral("No reception time"));
        QCOMPARE(status->fileLabel()->text(), QStringLiteral("untimed.kss"));
        QCOMPARE(status->loadLabel()->text(), QStringLiteral("1 frame"));
    }

    void loadReportInShort_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("timestamps");
        QTest::addColumn<int>("runts");
        QTest::addColumn<int>("beyond");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1 << 1 << 0 << 0 << "1 frame · 1 timestamp";
        QTest::newRow("two, untimed") << 2 << 0 << 0 << 0 << "2 frames";
        QTest::newRow("none") << 0 << 0 << 0 << 0 << "0 frames";
        QTest::newRow("skipped") << 400 << 400 << 3 << 0
                                 << "400 frames · 400 timestamps · 3 damaged frames skipped";
        // Frames past the view's records are decoded, not lost; large counts are grouped.
        QTest::newRow("large") << 2160000 << 2160000 << 1 << 2159000
                               << "2,160,000 frames · 2,160,000 timestamps · 2,159,000 beyond "
                                  "the records on view · 1 damaged frame skipped";
    }
    void loadReportInShort()
    {
        QFETCH(int, frames);
        QFETCH(int, timestamps);
        QFETCH(int, runts);
        QFETCH(int, beyond);
        QFETCH(QString, text);
        kesta::SessionTotals totals;
        totals.frames = static_cast<std::uint64_t>(frames);
        kesta::LoadReport load;
        load.reader.timestampFrames = static_cast<std::uint64_t>(timestamps);
        load.reader.rejectedFrames = static_cast<std::uint64_t>(timestamps);
        load.reader.runtFrames = static_cast<std::uint64_t>(runts);
        load.framesBeyondLimit = static_cast<std::uint64_t>(beyond);
        QCOMPARE(RecordStatus::loadText(totals, load), text);
    }

    void timeWithMilliseconds()
    {
        QCOMPARE(RecordStatus::timeText(1796119200123),
                 QStringLiteral("2026-12-01 10:00:00.123 UTC"));
        QCOMPARE(RecordStatus::timeText(std::nullopt), QStringLiteral("No reception time"));
    }

    // F5 shows the log as it is now, at the record and with the parameter the user chose;
    // a record the log no longer reaches becomes its last. Another log starts afresh.
    void reloadOpensTheLogAgainWhereTheUserWas()
    {
        const QString path = writeLog("live.kss", 10);
        QVERIFY(fixture::openAndWait(*form, path));
        QCOMPARE(text2(), QStringLiteral("#1 / 10"));
        scrollBar()->setValue(7);
        auto *rssi = form->findChild<QRadioButton *>(QStringLiteral("Option1_2"));
        rssi->click();
        // The station goes on writing.
        fixture::writeFile(path, fixture::generatedLog(25));
        showActive();
        QTest::keyClick(form.get(), Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000);
        QCOMPARE(text2(), QStringLiteral("#7 / 25"));
        QVERIFY(rssi->isChecked());
        // Cut short: the last record.
        fixture::writeFile(path, fixture::generatedLog(5));
        QTest::keyClick(form.get(), Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000);
        QCOMPARE(text2(), QStringLiteral("#5 / 5"));
        QVERIFY(rssi->isChecked());
        QVERIFY(fixture::openAndWait(*form, writeLog("other.kss", 10)));
        QCOMPARE(text2(), QStringLiteral("#1 / 10"));
        QVERIFY(form->findChild<QRadioButton *>(QStringLiteral("Option1_13"))->isChecked());

        // F5 while another log is still being read (a FIFO) reloads nothing, and that log
        // too starts afresh rather than where the user stood in the one before.
        scrollBar()->setValue(7);
        rssi->click();
        const QString fifo = folder->filePath(QStringLiteral("station.kss"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        form->openLog(fifo);
        QVERIFY(form->isRunning());
        QTest::keyClick(form.get(), Qt::Key_F5);
        QFile writer(fifo);
        QVERIFY(writer.open(QIODevice::WriteOnly)); // once the run has opened it
        writer.write(fixture::generatedLog(12));
        writer.close();
        QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000);
        QCOMPARE(text2(), QStringLiteral("#1 / 12"));
        QVERIFY(form->findChild<QRadioButton *>(QStringLiteral("Option1_13"))->isChecked());
    }

    void recentFilesRememberTheLastEight()
    {
        QStringList opened;
        for (int i = 1; i <= 10; ++i) {
            const QString path = writeLog(QStringLiteral("log%1.kss").arg(i), 2);
            QVERIFY(fixture::openAndWait(*form, path));
            opened.prepend(path);
        }
        QCOMPARE(RecentFiles().files(), opened.mid(0, RecentFiles::MaxFiles));
        // Opening one again puts it first, once.
        QVERIFY(fixture::openAndWait(*form, opened.at(3)));
        QCOMPARE(RecentFiles().files().first(), opened.at(3));
        QCOMPARE(RecentFiles().files().count(opened.at(3)), 1);

        // The menu lists them, then a line and "Clear Recent Files", and opens the one chosen.
        auto *menu = control<QMenu>(QStringLiteral("MnuRecentFiles"));
        emit menu->aboutToShow();
        QCOMPARE(menu->actions().size(), RecentFiles::MaxFiles + 2);
        QVERIFY(menu->actions().at(1)->text().startsWith(QStringLiteral("&2 ")));
        menu->actions().at(1)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000);
        QCOMPARE(QString::fromStdString(state->InputPath), opened.at(0));

        // The open dialog starts where the last log is.
        QCOMPARE(QtFileChooser::startFolder(), folder->path());

        // A log that is gone is dropped from the list when it fails to open.
        struct Quiet : RunNotifier
        {
            int told = 0;
            void notify(QWidget *, Severity, const QString &, const QString &) override { ++told; }
        } quiet;
        form->setNotifier(&quiet);
        QVERIFY(QFile::remove(opened.at(1)));
        form->openLog(opened.at(1));
        QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000);
        form->setNotifier(nullptr);
        QCOMPARE(quiet.told, 1);
        QVERIFY(!RecentFiles().files().contains(opened.at(1)));
        QVERIFY(RecentFiles().files().contains(opened.at(0)));

        // "Clear Recent Files" empties the list.
        emit menu->aboutToShow();
        menu->findChild<QAction *>(QStringLiteral("ClearRecentFiles"))->trigger();
        QVERIFY(RecentFiles().files().isEmpty());
        QCOMPARE(menu->actions().size(), 1); // "(none)"
    }

    void ctrlOAndCtrlQStillWork()
    {
        class Chooser : public FileChooser
        {
        public:
            int asked = 0;
            QString chooseLogFile(QWidget *) override
            {
                ++asked;
                return {};
            }
        } chooser;
        form->setFileChooser(&chooser);
        showActive();
        QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(chooser.asked, 1);
        QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!form->isVisible());
    }

    void infoButtonOpensBitsBesideTheWindow_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Space") << int(Qt::Key_Space);
        QTest::newRow("Enter") << int(Qt::Key_Return);
    }
    void infoButtonOpensBitsBesideTheWindow()
    {
        QFETCH(int, key);
        QVERIFY(fixture::openAndWait(*form, writeLog("bits.kss", 5)));
        form->fitToScreen(QRect(0, 0, 1920, 1080));
        form->move(0, 0);
        showActive();
        auto *button = control<QWidget>(QStringLiteral("Image4"));
        const QImage unfocused = button->grab().toImage();
        button->setFocus();
        QVERIFY(button->hasFocus());
        QVERIFY2(button->grab().toImage() != unfocused, "focus is shown");
        QTest::keyClick(button, static_cast<Qt::Key>(key));
        Form2 *bits = form->movementFlagWindow();
        QVERIFY(bits && bits->isVisible());
        // The bits of the shown record at once, not after the first tick (none when its
        // frame did not carry them).
        const bool carried = state->store[1].Written.test(kesta::Field::MovementFlag);
        QCOMPARE(bits->text1()->text(), carried ? form->movementFlagText() : QString());
        // Beside the main window where the screen has room (see tst_form1_access).
        QCOMPARE(bits->pos(),
                 screenfit::besidePosition(form->frameGeometry(), bits->frameGeometry().size(),
                                           form->screen()->availableGeometry()));
        QVERIFY(!(bits->windowFlags() & Qt::WindowMaximizeButtonHint));

        // Esc closes it, and the about window too.
        QApplication::setActiveWindow(bits);
        QTest::keyClick(bits, Qt::Key_Escape);
        QTRY_VERIFY(!form->movementFlagWindow());
        form->showInfoWindow();
        Info *info = form->infoWindow();
        QVERIFY(info && info->isVisible());
        QTest::keyClick(info, Qt::Key_Escape);
        QTRY_VERIFY(!form->infoWindow());
    }
};

QTEST_MAIN(TestForm1Keys)
#include "tst_form1_keys.moc"
