#include "runnotifier.h"

#include <QMessageBox>

namespace kesta {

RunNotifier::~RunNotifier() = default;

void MessageBoxNotifier::notify(QWidget *parent, Severity severity, const QString &title,
                                const QString &text)
{
    switch (severity) {
    case Severity::Error:
        QMessageBox::critical(parent, title, text);
        break;
    case Severity::Warning:
        QMessageBox::warning(parent, title, text);
        break;
    case Severity::Information:
        QMessageBox::information(parent, title, text);
        break;
    }
}

} // namespace kesta
