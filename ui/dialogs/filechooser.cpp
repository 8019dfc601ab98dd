#include "filechooser.h"

#include "recentfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>

namespace kesta {

FileChooser::~FileChooser() = default;

QStringList QtFileChooser::filters()
{
    // A SatNOGS frame export is told by its content, whatever its name; the filter only
    // shows the names such exports usually have.
    return {QCoreApplication::translate("FileChooser", "Log Files (*.kss)"),
            QCoreApplication::translate("FileChooser", "SatNOGS frames (*.csv *.txt)"),
            QCoreApplication::translate("FileChooser", "Text Files (*.txt)"),
            QCoreApplication::translate("FileChooser", "All Files (*)")};
}

QString QtFileChooser::startFolder()
{
    const QString folder = RecentFiles().lastFolder();
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QString();
}

QString QtFileChooser::chooseLogFile(QWidget *parent)
{
    const QStringList list = filters();
    QString selected = list.first();
    return QFileDialog::getOpenFileName(parent, QString(), startFolder(),
                                        list.join(QStringLiteral(";;")), &selected);
}

} // namespace kesta
