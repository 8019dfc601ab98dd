#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QAction;
class QWidget;

namespace kesta {

class ConnectChooser;
class Questioner;
struct ConnectRequest;

class RecordSource;

// The commands of live reception: "Connect..." (asks for the server, then starts a session
// on the record source), "Disconnect", "Reconnect Now" while a lost connection waits, and
// the question whether to end a session before another log is opened or the program
// exits. Each command is enabled only when it can be carried out.
class LiveControl : public QObject
{
    Q_OBJECT

public:
    enum class EndReason
    {
        OpenLog,
        Exit
    };

    // `window` is the parent of the dialogs and questions; the actions are its children.
    LiveControl(RecordSource &source, QWidget *window);
    ~LiveControl() override;

    QAction *connectAction() const { return m_connect; }
    QAction *disconnectAction() const { return m_disconnect; }
    QAction *reconnectNowAction() const { return m_reconnectNow; }

    // Where "Connect..." asks for the server and where the user is asked whether to end a
    // session; not owned, null for the real dialogs.
    void setConnectChooser(ConnectChooser *chooser);
    void setQuestioner(Questioner *questioner);

    // "Connect...": asks for the server, `writeTlm` being the dialog's first choice.
    void chooseAndConnect(bool writeTlm);
    // Starts a session recording into request.recordingPath; false when it could not start
    // (failed() has told why).
    bool connectTo(const ConnectRequest &request);
    // Asks whether to end the session going on; true when there is none or it ended.
    bool endSessionFirst(EndReason reason);
    // Enables the commands as the source's state allows.
    void updateActions();

signals:
    // A session could not start, or it ended with files that failed (`error` false: the
    // session itself went well). `text` says which and why.
    void failed(bool error, const QString &text);

private:
    void sessionEnded(bool ok);

    RecordSource &m_source;
    QWidget *m_window;
    QAction *m_connect = nullptr;
    QAction *m_disconnect = nullptr;
    QAction *m_reconnectNow = nullptr;
    std::unique_ptr<ConnectChooser> m_defaultChooser;
    std::unique_ptr<Questioner> m_defaultQuestioner;
    ConnectChooser *m_chooser = nullptr;
    Questioner *m_questioner = nullptr;
};

} // namespace kesta
