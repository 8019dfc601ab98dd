#pragma once

#include <QString>

class QWidget;

namespace kesta {

// How the main window tells the user about a decoding run that failed or went wrong.
// The window asks this interface only, so tests can answer without a person.
class RunNotifier
{
public:
    enum class Severity
    {
        Error,
        Warning,
        Information
    };
    virtual ~RunNotifier();
    virtual void notify(QWidget *parent, Severity severity, const QString &title,
                        const QString &text) = 0;
};

// The real thing: a modal message box.
class MessageBoxNotifier : public RunNotifier
{
public:
    void notify(QWidget *parent, Severity severity, const QString &title,
                const QString &text) override;
};

} // namespace kesta
