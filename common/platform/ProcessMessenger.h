#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

// Messages between the programs' processes over a local socket (abstract namespace, only
// between processes of the same user) named after the client's single-instance name. The running client serves; a second client or the launcher sends.
// One frame per connection: "<message>\t<sender>\n" in UTF-8.
class IProcessMessenger
{
public:
    using Handler = std::function<void(const QString& message, const QString& sender)>;
    virtual ~IProcessMessenger() = default;
    // Only the holder of the single-instance lock serves, so a stale socket left by a dead
    // client may be replaced.
    virtual bool Serve(Handler handler) = 0;
    // True when a running client took the message.
    virtual bool Send(const QString& message, const QString& sender) = 0;
};

class LocalSocketMessenger : public QObject, public IProcessMessenger
{
    Q_OBJECT
public:
    explicit LocalSocketMessenger(QString serverName, QObject* parent = nullptr);
    ~LocalSocketMessenger() override;

    // The name both programs use, derived from the single-instance name.
    static QString DefaultServerName();

    bool Serve(Handler handler) override;
    bool Send(const QString& message, const QString& sender) override;

    // True when a process of this user serves the name (the client is running).
    static bool IsServed(const QString& serverName, int timeoutMs);

    static QByteArray EncodeFrame(const QString& message, const QString& sender);
    // False when the bytes are not one whole frame.
    static bool DecodeFrame(const QByteArray& bytes, QString* message, QString* sender);

private:
    QString m_serverName;
    std::unique_ptr<QLocalServer> m_server;
    Handler m_handler;
};

inline constexpr const char* kDuplicateProcessMessage = "G_VEXA_BLOCK_DUPLICATE_PROCESS_MSG";
