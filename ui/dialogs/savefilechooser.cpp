#include "savefilechooser.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace kesta {

SaveFileChooser::~SaveFileChooser() = default;

QString FilterExtension(const QString &filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9_]+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

SaveFileChooser::Choice QtSaveFileChooser::chooseSaveFile(QWidget *parent, const QString &caption,
                                                          const QStringList &filters,
                                                          const QString &suggestedName)
{
    QFileDialog dialog(parent, caption);
    if (!suggestedName.isEmpty())
        dialog.selectFile(suggestedName);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // The dialog adds the extension itself, so that it also asks before replacing the file
    // of the name with the extension.
    dialog.setDefaultSuffix(FilterExtension(filters.value(0)));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog,
        [&dialog](const QString &filter) { dialog.setDefaultSuffix(FilterExtension(filter)); });
    Choice choice;
    if (dialog.exec() != QDialog::Accepted)
        return choice;
    choice.path = dialog.selectedFiles().value(0);
    choice.filter = dialog.selectedNameFilter();
    return choice;
}

} // namespace kesta
