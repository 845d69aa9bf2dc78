#pragma once
// Sends a support report to the support server's CGI script as GET requests, one piece
// of at most kPieceSize bytes per request and one request per connection, one connection
// after the other. The server confirms each piece with status 200 and closes.
//
// Outcome: onSent once every piece was confirmed (called from the socket handler);
// onFailed when a connect fails kConnectAttempts times, a connection breaks, the server
// closes without a reply, or a reply is not 200 (queued, so the receiver may restart or
// drop the sender). Sending stops at the first failure, so a report is never announced
// as sent when part of it was refused.

#include <QObject>

#include <functional>
#include <string>

class QTcpSocket;

namespace vireo {

class SupportSender : public QObject {
public:
    static constexpr size_t kPieceSize = 1024;
    static constexpr int kConnectAttempts = 5;

    // Reads "proxy" and the support server address now; the proxy's address is read at
    // each connect.
    explicit SupportSender(QObject* parent = nullptr);
    ~SupportSender() override;

    // Starts (or starts again) sending the whole report to the given script.
    void Start(const std::string& report, const std::string& script = "techsupport.cgi");
    // Closes the connection; nothing more is sent or reported.
    void Stop();

    // The request for one piece: the script's path with the escaped piece as its query,
    // in proxy form when sending through the proxy.
    static std::string BuildRequest(const std::string& piece, const std::string& script,
                                    const std::string& server, bool viaProxy);

    std::function<void()> onSent;
    std::function<void()> onFailed;

private:
    void Connect();
    void OnConnected();
    void OnReadyRead();
    void OnDisconnected();
    void OnError();
    void Fail();
    void DropSocket();

    bool m_viaProxy = false;
    std::string m_server; // host or host:port, as stored
    std::string m_script;
    std::string m_remaining;
    std::string m_statusLine;
    bool m_statusRead = false; // the current connection's status line was examined
    bool m_confirmed = false;  // and it was 200
    bool m_connected = false;
    int m_attempts = 0;
    unsigned m_run = 0; // bumped by Start and Stop, so a stale failure is not delivered
    QTcpSocket* m_socket = nullptr;
};

} // namespace vireo
