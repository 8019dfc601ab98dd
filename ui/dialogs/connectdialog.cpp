#include "connectdialog.h"

#include "influxdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace kesta {

namespace {

const QString HostKey = QStringLiteral("connect/host");
const QString PortKey = QStringLiteral("connect/port");
const QString FolderKey = QStringLiteral("connect/folder");

QSettings programSettings()
{
    return QSettings(QStringLiteral("kesta-decoder"), QStringLiteral("kesta-decoder"));
}

// "HOST:PORT" as ParseHostPort reads it; an IPv6 address goes in brackets.
QString joined(QString host, const QString &port)
{
    host = host.trimmed();
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return host + QLatin1Char(':') + port.trimmed();
}

} // namespace

namespace connectsettings {

HostPort rememberedServer()
{
    const QSettings settings = programSettings();
    HostPort server{settings.value(HostKey, QStringLiteral("localhost")).toString(),
                    static_cast<quint16>(settings.value(PortKey, 8001).toUInt())};
    if (server.host.isEmpty())
        server.host = QStringLiteral("localhost");
    if (server.port == 0)
        server.port = 8001;
    return server;
}

QString rememberedFolder()
{
    const QString folder = programSettings().value(FolderKey).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    // A user without a documents folder records into the home folder.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void remember(const ConnectRequest &request)
{
    QSettings settings = programSettings();
    settings.setValue(HostKey, request.server.host);
    settings.setValue(PortKey, request.server.port);
    settings.setValue(FolderKey, QFileInfo(request.recordingPath).absolutePath());
    // The URL in force as it was (maybe the command line's for this run) stays as it is.
    if (request.influxUrl != InfluxDialog::url())
        InfluxDialog::remember(request.influxUrl);
}

QString defaultRecordingName(const QDateTime &when)
{
    return QStringLiteral("kesta1-%1Z.kss")
        .arg(when.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QString defaultRecordingPath()
{
    return QDir(rememberedFolder())
        .absoluteFilePath(defaultRecordingName(QDateTime::currentDateTimeUtc()));
}

} // namespace connectsettings

ConnectDialog::ConnectDialog(bool writeTlm, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ConnectDialog"));
    setWindowTitle(tr("Connect"));

    const HostPort server = connectsettings::rememberedServer();
    m_host = new QLineEdit(server.host, this);
    m_host->setObjectName(QStringLiteral("ConnectHost"));
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("ConnectPort"));
    m_port->setEditable(true);
    m_port->addItem(QStringLiteral("8001"));
    m_port->setItemData(0, tr("soundcard TNC programs"), Qt::ToolTipRole);
    m_port->addItem(QStringLiteral("8100"));
    m_port->setItemData(1, tr("SDR satellite decoders"), Qt::ToolTipRole);
    m_port->setCurrentText(QString::number(server.port));
    m_port->setToolTip(tr("The KISS TCP port: 8001 for soundcard TNC programs, "
                          "8100 for SDR satellite decoders"));

    m_folder = new QLineEdit(QDir::toNativeSeparators(connectsettings::rememberedFolder()), this);
    m_folder->setObjectName(QStringLiteral("ConnectFolder"));
    m_folder->setMinimumWidth(260);
    auto *browse = new QPushButton(tr("Browse..."), this);
    browse->setObjectName(QStringLiteral("ConnectBrowse"));
    connect(browse, &QPushButton::clicked, this, &ConnectDialog::chooseFolder);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);

    m_name =
        new QLineEdit(connectsettings::defaultRecordingName(QDateTime::currentDateTimeUtc()), this);
    m_name->setObjectName(QStringLiteral("ConnectName"));
    m_writeTlm = new QCheckBox(tr("Write TLM File"), this);
    m_writeTlm->setObjectName(QStringLiteral("ConnectWriteTlm"));
    m_writeTlm->setChecked(writeTlm);
    m_influxUrl = new QLineEdit(InfluxDialog::url(), this);
    m_influxUrl->setObjectName(QStringLiteral("ConnectInfluxUrl"));
    m_influxUrl->setPlaceholderText(tr("none"));
    m_influxUrl->setToolTip(tr("The write URL of an InfluxDB server the records are sent to "
                               "as well, as in Settings > InfluxDB...; empty for none"));
    auto *influxToken = new QLabel(InfluxDialog::tokenNote(), this);
    influxToken->setObjectName(QStringLiteral("ConnectInfluxToken"));

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("ConnectProblem"));
    m_problem->setWordWrap(true);
    QPalette palette = m_problem->palette();
    palette.setColor(QPalette::WindowText, QColor(176, 0, 0));
    m_problem->setPalette(palette);
    m_problem->hide();

    // A screen reader names each field by its label, not by the value in it.
    m_host->setAccessibleName(tr("Host"));
    m_port->setAccessibleName(tr("Port"));
    m_port->lineEdit()->setAccessibleName(tr("Port"));
    m_folder->setAccessibleName(tr("Folder"));
    m_name->setAccessibleName(tr("Recording"));
    m_influxUrl->setAccessibleName(tr("InfluxDB URL"));

    auto *form = new QFormLayout;
    form->addRow(tr("Host:"), m_host);
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("Folder:"), folderRow);
    form->addRow(tr("Recording:"), m_name);
    form->addRow(QString(), m_writeTlm);
    form->addRow(tr("InfluxDB:"), m_influxUrl);
    form->addRow(QString(), influxToken);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Connect"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ConnectDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ConnectDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

std::optional<ConnectRequest> ConnectDialog::request() const
{
    m_problemText.clear();
    QString error;
    const auto server = ParseHostPort(joined(m_host->text(), m_port->currentText()), error);
    if (!server) {
        m_problemText = m_host->text().trimmed().isEmpty()
                            ? tr("Enter the host name or address of the server.")
                            : tr("The port must be a number from 1 to 65535.");
        return std::nullopt;
    }
    const QString folder = QDir::fromNativeSeparators(m_folder->text().trimmed());
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        m_problemText = tr("The folder \"%1\" does not exist.").arg(m_folder->text());
        return std::nullopt;
    }
    const QString name = m_name->text().trimmed();
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String("..")) {
        m_problemText = tr("Enter a file name for the recording.");
        return std::nullopt;
    }
    const QString path = QDir(folder).absoluteFilePath(name);
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        m_problemText = tr("%1 exists already; a live session records into a new file.").arg(name);
        return std::nullopt;
    }
    const QString influxUrl = m_influxUrl->text().trimmed();
    if (QString influxError; !influxUrl.isEmpty() && !InfluxDialog::targetFor(influxUrl, influxError)) {
        m_problemText = tr("InfluxDB URL %1").arg(influxError);
        return std::nullopt;
    }
    return ConnectRequest{*server, QDir::cleanPath(path), m_writeTlm->isChecked(), influxUrl};
}

QString ConnectDialog::problem() const
{
    return m_problemText;
}

void ConnectDialog::accept()
{
    if (!request()) {
        m_problem->setText(m_problemText);
        m_problem->show();
        return;
    }
    QDialog::accept();
}

void ConnectDialog::chooseFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Folder of the recording"), QDir::fromNativeSeparators(m_folder->text()));
    if (!folder.isEmpty())
        m_folder->setText(QDir::toNativeSeparators(folder));
}

ConnectChooser::~ConnectChooser() = default;

std::optional<ConnectRequest> DialogConnectChooser::chooseConnection(QWidget *parent, bool writeTlm)
{
    ConnectDialog dialog(writeTlm, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    auto request = dialog.request();
    if (request)
        connectsettings::remember(*request);
    return request;
}

Questioner::~Questioner() = default;

bool MessageBoxQuestioner::ask(QWidget *parent, const QString &title, const QString &question)
{
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

} // namespace kesta
