#include "stationdialog.h"

#include "station_name.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace kesta {

namespace {

const QString StationKey = QStringLiteral("station/name");

QString &forThisRun()
{
    static QString name;
    return name;
}

QSettings programSettings()
{
    return QSettings(QStringLiteral("kesta-decoder"), QStringLiteral("kesta-decoder"));
}

} // namespace

StationDialog::StationDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("StationDialog"));
    setWindowTitle(tr("Station"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(tr("Name of the receiving station, as exports tag the records "
                                "(empty for none):"),
                             this);
    label->setWordWrap(true);
    m_name = new QLineEdit(station(), this);
    m_name->setObjectName(QStringLiteral("StationName"));
    label->setBuddy(m_name);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("StationProblem"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(label);
    layout->addWidget(m_name);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_name, &QLineEdit::textChanged, this, &StationDialog::check);
    check();
}

QString StationDialog::name() const
{
    return m_name->text();
}

void StationDialog::check()
{
    // Empty is no station; anything else must be a name the exports can carry.
    const QByteArray text = m_name->text().toUtf8();
    const auto problem = text.isEmpty() ? std::nullopt : StationNameProblem(text.toStdString());
    m_problem->setText(problem ? QString::fromStdString(*problem) : QString());
    m_ok->setEnabled(!problem);
}

QString StationDialog::station()
{
    if (!forThisRun().isEmpty())
        return forThisRun();
    return programSettings().value(StationKey).toString();
}

bool StationDialog::edit(QWidget *parent)
{
    StationDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    programSettings().setValue(StationKey, dialog.name());
    forThisRun() = dialog.name().isEmpty() ? QString() : dialog.name();
    return true;
}

void StationDialog::setForThisRun(const QString &name)
{
    forThisRun() = name;
}

} // namespace kesta
