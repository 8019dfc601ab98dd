// The file chooser: the filter list of the open dialog, and a recording stand-in that answers
// for the user in tests.

#include "filechooser.h"

#include <QWidget>
#include <QtTest>

namespace {

// Answers with queued paths (empty text = cancel) and records each window that asked.
class FakeFileChooser : public FileChooser
{
public:
    QStringList answers;
    QList<QWidget *> askedBy;

    QString chooseLogFile(QWidget *parent) override
    {
        askedBy << parent;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

QString askFor(FileChooser &chooser, QWidget *parent)
{
    return chooser.chooseLogFile(parent);
}

} // namespace

class TestFileChooser : public QObject
{
    Q_OBJECT

private slots:
    void filterList();
    void standInAnswersThroughTheInterface();
};

void TestFileChooser::filterList()
{
    // Logs first, so they are the ones offered when the dialog opens; "All Files" also
    // offers names without an extension.
    QCOMPARE(QtFileChooser::filters(),
             QStringList({"Log Files (*.kss)", "SatNOGS frames (*.csv *.txt)", "Text Files (*.txt)",
                          "All Files (*)"}));
}

void TestFileChooser::standInAnswersThroughTheInterface()
{
    FakeFileChooser fake;
    fake.answers << "/logs/pass1.kss" << QString();
    QWidget window;

    QCOMPARE(askFor(fake, &window), QStringLiteral("/logs/pass1.kss"));
    QVERIFY(askFor(fake, &window).isEmpty()); // cancelled
    QCOMPARE(fake.askedBy, QList<QWidget *>({&window, &window}));
}

QTEST_MAIN(TestFileChooser)
#include "tst_filechooser.moc"
