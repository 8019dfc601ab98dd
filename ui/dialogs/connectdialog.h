#pragma once

#include "hostport.h"

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace kesta {

// What "Connect..." asks for: the KISS TCP server and the new log the received frames
// are recorded in (the dump and TLM files go beside it).
struct ConnectRequest
{
    HostPort server;
    QString recordingPath; // absolute
    bool writeTlm = true;
    // The InfluxDB server the records are sent to as well (its write URL); empty for none.
    QString influxUrl;
};

// What the dialog remembers between sessions and program runs (QSettings).
namespace connectsettings {

// The server of the last session, or localhost:8001.
HostPort rememberedServer();
// The folder of the last recording; the user's documents folder before the first one.
QString rememberedFolder();
void remember(const ConnectRequest &request);
// "kesta1-YYYYMMDD-HHMMSSZ.kss" for `when` in UTC.
QString defaultRecordingName(const QDateTime &when);
// The default recording of a session started now: the default name in the remembered folder.
QString defaultRecordingPath();

} // namespace connectsettings

// The "Connect" dialog: host, port (8001 for soundcard TNC programs, 8100 for SDR
// satellite decoders, or any other), the recording's folder and name, "Write TLM File",
// and the InfluxDB server the records go to as well (the one of Settings -> InfluxDB...).
// OK is taken only for a valid server, a recording that does not exist yet and an
// InfluxDB URL that is empty or usable; the reason is shown in the dialog otherwise.
class ConnectDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConnectDialog(bool writeTlm, QWidget *parent = nullptr);

    // The answer as it stands, or nullopt with the reason in problem().
    std::optional<ConnectRequest> request() const;
    QString problem() const;

    void accept() override;

private:
    void chooseFolder();

    QLineEdit *m_host = nullptr;
    QComboBox *m_port = nullptr;
    QLineEdit *m_folder = nullptr;
    QLineEdit *m_name = nullptr;
    QCheckBox *m_writeTlm = nullptr;
    QLineEdit *m_influxUrl = nullptr;
    QLabel *m_problem = nullptr;
    mutable QString m_problemText;
};

// How the main window asks for a server to connect to; tests answer without a person.
class ConnectChooser
{
public:
    virtual ~ConnectChooser();
    // The user's answer, or nullopt when cancelled. `writeTlm` is the box's first state.
    virtual std::optional<ConnectRequest> chooseConnection(QWidget *parent, bool writeTlm) = 0;
};

// The real thing: the modal ConnectDialog; an accepted answer is remembered.
class DialogConnectChooser : public ConnectChooser
{
public:
    std::optional<ConnectRequest> chooseConnection(QWidget *parent, bool writeTlm) override;
};

// A yes/no question to the user, such as whether to end the live session.
class Questioner
{
public:
    virtual ~Questioner();
    virtual bool ask(QWidget *parent, const QString &title, const QString &question) = 0;
};

// The real thing: a modal question box, "No" being the default.
class MessageBoxQuestioner : public Questioner
{
public:
    bool ask(QWidget *parent, const QString &title, const QString &question) override;
};

} // namespace kesta
