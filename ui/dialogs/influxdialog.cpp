#include "influxdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace kesta {

namespace {

const QString UrlKey = QStringLiteral("influx/url");
const char *const TokenVariable = "INFLUX_TOKEN";

std::optional<QString> &forThisRun()
{
    static std::optional<QString> url;
    return url;
}

QSettings programSettings()
{
    return QSettings(QStringLiteral("kesta-decoder"), QStringLiteral("kesta-decoder"));
}

} // namespace

InfluxDialog::InfluxDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("InfluxDialog"));
    setWindowTitle(tr("InfluxDB"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(tr("Write URL of the InfluxDB server that opened logs and live "
                                "sessions send their records to (empty for none):"),
                             this);
    label->setWordWrap(true);
    m_url = new QLineEdit(url(), this);
    m_url->setObjectName(QStringLiteral("InfluxUrl"));
    m_url->setMinimumWidth(420);
    m_url->setPlaceholderText(QStringLiteral("http://localhost:8086/write?db=kesta1"));
    m_url->setAccessibleName(tr("InfluxDB URL"));
    label->setBuddy(m_url);
    auto *token = new QLabel(tokenNote(), this);
    token->setObjectName(QStringLiteral("InfluxToken"));
    token->setWordWrap(true);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("InfluxProblem"));
    m_problem->setWordWrap(true);
    QPalette palette = m_problem->palette();
    palette.setColor(QPalette::WindowText, QColor(176, 0, 0));
    m_problem->setPalette(palette);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(label);
    layout->addWidget(m_url);
    layout->addWidget(token);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_url, &QLineEdit::textChanged, this, &InfluxDialog::check);
    check();
}

QString InfluxDialog::text() const
{
    return m_url->text().trimmed();
}

void InfluxDialog::check()
{
    QString error;
    const bool refused = !text().isEmpty() && !targetFor(text(), error);
    m_problem->setText(refused ? error : QString());
    m_ok->setEnabled(!refused);
}

QString InfluxDialog::url()
{
    if (forThisRun())
        return *forThisRun();
    return programSettings().value(UrlKey).toString();
}

void InfluxDialog::setForThisRun(const QString &url)
{
    forThisRun() = url;
}

void InfluxDialog::remember(const QString &url)
{
    programSettings().setValue(UrlKey, url);
    forThisRun().reset();
}

bool InfluxDialog::edit(QWidget *parent)
{
    InfluxDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    remember(dialog.text());
    return true;
}

std::optional<InfluxTarget> InfluxDialog::targetFor(const QString &url, QString &error)
{
    error.clear();
    if (url.trimmed().isEmpty())
        return std::nullopt;
    return ParseInfluxUrl(url.trimmed(), qgetenv(TokenVariable), error);
}

std::optional<InfluxTarget> InfluxDialog::target()
{
    QString error;
    return targetFor(url(), error);
}

QString InfluxDialog::tokenNote()
{
    return qEnvironmentVariableIsEmpty(TokenVariable)
               ? tr("No token: INFLUX_TOKEN is not set.")
               : tr("Token: from INFLUX_TOKEN (set; never stored).");
}

} // namespace kesta
