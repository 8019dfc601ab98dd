#pragma once

// A main window with a generated log open, for the window tests of keys, status bar,
// accessibility and themes. The log is written into a temporary folder and opened as a
// dropped or named log would be.

#include "filechooser.h"
#include "form1.h"
#include "log_generator.h"
#include "program_state.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace kesta::fixture {

inline QByteArray generatedLog(std::uint64_t frames, bool timestamps = true)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    options.timestamps = timestamps;
    options.seed = 9;
    const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options, nullptr);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

// Answers the file dialog as a user would, and remembers how often it was asked.
class FakeChooser : public FileChooser
{
public:
    QString answer;
    int asked = 0;
    QString chooseLogFile(QWidget *) override
    {
        ++asked;
        return answer;
    }
};

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Opens `path` in `form` and waits for the run to end.
inline bool openAndWait(Form1 &form, const QString &path)
{
    form.openLog(path);
    QElapsedTimer clock;
    clock.start();
    while (form.isRunning() && clock.elapsed() < 20000)
        QTest::qWait(10);
    // The status bar lays out its new texts over a few rounds of events.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return !form.isRunning();
}

} // namespace kesta::fixture
