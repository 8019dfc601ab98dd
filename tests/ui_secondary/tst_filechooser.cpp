// The file chooser: the filter list of the open dialog.

#include "filechooser.h"

#include <QtTest>

using namespace kesta;

class TestFileChooser : public QObject
{
    Q_OBJECT

private slots:
    void filterList();
};

void TestFileChooser::filterList()
{
    // Logs first, so they are the ones offered when the dialog opens; "All Files" also
    // offers names without an extension.
    QCOMPARE(QtFileChooser::filters(),
             QStringList({"Log Files (*.kss)", "SatNOGS frames (*.csv *.txt)", "Text Files (*.txt)",
                          "All Files (*)"}));
}

QTEST_MAIN(TestFileChooser)
#include "tst_filechooser.moc"
