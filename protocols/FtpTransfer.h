#pragma once
// The transfer for ftp addresses: logs in on a control connection, changes to the file's
// directory, lists the file to learn its size and retrieves it in binary mode over a data
// connection, continuing a partial file with a restart offset. The data connection is
// active by default (we listen, the server connects back) or passive with the setting
// "ftppassive".

#include "engine/JobSocket.h"
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

    void OnConnected(JobSocket* socket) override;
    int OnClosed(JobSocket* socket) override;
    int OnData(JobSocket* socket, const char* data, size_t count) override;
    int OnAccept(JobSocket* socket) override;
    int Connect() override;
    void CloseSockets() override;

    int CurrentState() const { return m_state; }

private:
    enum class DataUse { Listing, File };
    // What a handler did: the reply was taken or not expected (the dialogue goes on), or
    // the job finished, failed or started a new attempt (touch nothing more).
    enum class Outcome { Taken, Unexpected, Ended };

    Outcome OnReply(const FtpReply& reply);
    Outcome OnTypeI();
    Outcome OnListingDone();
    // The modification time is known (or the server has none): decides whether the part
    // on disk still belongs to the file, then asks for the file.
    Outcome OnMdtmReply(const FtpReply& reply);
    Outcome Refused();
    // Asks for the data connection of the listing or the file: PORT, or EPSV / PASV.
    void RequestDataConnection(DataUse use);
    Outcome OnPassiveReply(const FtpReply& reply, DataUse use);
    void SendRetr();
    void SendCommand(const std::string& command);
    void SetState(State state) { m_state = state; }
    void OnListingData(const char* data, size_t count, bool last);
    // The control connection closed, or the file's data connection: finishes when the
    // file is whole, retries when it cannot become whole any more.
    Outcome CheckEnd();
    bool DataOpen(DataUse use) const { return m_data && m_dataUse == use && !m_dataClosed; }

    JobSocketPtr m_data;
    JobSocketPtr m_listListener;
    JobSocketPtr m_control;
    JobSocketPtr m_fileListener;
    quint16 m_listPort = 0;
    quint16 m_filePort = 0;
    std::string m_user;
    std::string m_password;
    State m_state = kGreeting;

    DataUse m_dataUse = DataUse::Listing;
    bool m_dataClosed = false;
    bool m_passive = false;
    bool m_epsvRefused = false; // the server has no EPSV: ask with PASV straight away
    bool m_pasvSent = false;    // the passive request in flight is PASV
    bool m_restSent = false;
    bool m_listingEnded = false; // 226 for the listing arrived
    bool m_fileEnded = false;    // 226 for the file arrived
    bool m_controlClosed = false;
    std::string m_fileName; // decoded, as the commands name it
    std::string m_directory;
    std::string m_listing;
    bool m_sizeFound = false;
    FtpReplyParser m_replies;
};

} // namespace vireo
