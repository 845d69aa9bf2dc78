#pragma once
// The transfer for ftp addresses: logs in on a control connection, changes to the file's
// directory, lists the file to learn its size and retrieves it in binary mode over a data
// connection, continuing a partial file with a restart offset. The data connection is
// active by default (we listen, the server connects back) or passive with the setting
// "ftppassive".

#include "engine/TransferJob.h"
#include "protocols/FtpReplyParser.h"

#include <string>

namespace vireo {

class FtpTransfer : public TransferJob {
public:
    // The reply the dialogue waits for; the numbers are the ones the log and support
    // have always used.
    enum State : int {
        kGreeting = 1,
        kUserReply = 2,
        kPassReply = 3,
        kSystReply = 4,
        kCwdReply = 5,
        kFilePortReply = 6,
        kTypeIReply = 7,
        kFileEnd = 8,
        kQuitReply = 9,
        kFileStart = 10,
        kListStart = 11,
        kListPortReply = 12,
        kTypeAReply = 13,
        kListEnd = 14,
        kRestReply = 15,
        kListPassiveReply = 16,
        kFilePassiveReply = 17,
        kMdtmReply = 18,
    };

    // Sent as the password of an anonymous login, and what the log shows instead.
    static constexpr const char* kAnonymousPassword = "vireo@users.invalid";
    static constexpr const char* kAnonymousPasswordShown = "user@host";
    // Listing bytes kept while looking for the file's line.
    static constexpr size_t kMaxListing = 64 * 1024;

    FtpTransfer(JobHost* item, std::string host, std::string path, int port);
    ~FtpTransfer() override;

    void CloseSockets() override;

    int CurrentState() const { return m_state; }

protected:
    Step OnConnected(Connection* connection) override;
    Step OnClosed(Connection* connection) override;
    Step OnData(Connection* connection, const char* data, size_t count) override;
    int64_t PlainBytesOn(const Connection* connection) const override;
    Step OnAccept(Connection* listener) override;
    Step Connect() override;

private:
    enum class DataUse { Listing, File };

    // The data side of the dialogue: the connection that carries the listing and then
    // the file, how it is made, and how far each use got.
    struct DataChannel {
        ConnectionPtr connection;
        DataUse use = DataUse::Listing;
        bool closed = false;       // the connection closed
        bool passive = false;      // we connect to the server (EPSV / PASV), not it to us
        bool epsvRefused = false;  // the server has no EPSV: ask with PASV straight away
        bool pasvSent = false;     // the passive request in flight is PASV
        bool listingEnded = false; // 226 for the listing arrived
        bool fileEnded = false;    // 226 for the file arrived
        // Active mode: where the server connects for the listing and for the file.
        ConnectionPtr listListener;
        ConnectionPtr fileListener;
        quint16 listPort = 0;
        quint16 filePort = 0;

        bool Open(DataUse u) const { return connection && use == u && !closed; }
    };

    // Each handler returns the Step of the reply it took. A reply the dialogue does not
    // expect goes on (it is logged, and the time-out ends a dialogue that is stuck).
    Step OnReply(const FtpReply& reply);
    Step OnTypeI();
    Step OnListingDone();
    // The modification time is known (or the server has none): decides whether the part
    // on disk still belongs to the file, then asks for the file.
    Step OnMdtmReply(const FtpReply& reply);
    Step Refused();
    // Asks for the data connection of the listing or the file: PORT, or EPSV / PASV.
    void RequestDataConnection(DataUse use);
    Step OnPassiveReply(const FtpReply& reply, DataUse use);
    void SendRetr();
    void SendCommand(const std::string& command);
    void SetState(State state) { m_state = state; }
    void OnListingData(const char* data, size_t count, bool last);
    // The control connection closed, or the file's data connection: finishes when the
    // file is whole, retries when it cannot become whole any more.
    Step CheckEnd();

    ConnectionPtr m_control;
    DataChannel m_data;
    std::string m_user;
    std::string m_password;
    State m_state = kGreeting;
    bool m_controlClosed = false;
    std::string m_fileName; // decoded, as the commands name it
    std::string m_directory;
    std::string m_listing;
    bool m_sizeFound = false;
    FtpReplyParser m_replies;
};

} // namespace vireo
