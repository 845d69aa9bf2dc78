// The item's side of a transfer: starting and restarting jobs, the target file, and
// passing the job's reports on to the owner.
#include "common/AsciiCase.h"
#include "downloads/DownloadItem.h"
#include "downloads/JobFactory.h"
#include "engine/FileNames.h"
#include "engine/SocketWindow.h"
#include "engine/TransferJob.h"
#include "engine/UrlParts.h"
#include "history/HistoryStore.h"
#include "log/TransferLog.h"

#include <cstdio>

namespace vireo {

namespace {
// Below this many free bytes the disk counts as full.
constexpr uint64_t kMinFreeSpace = 200000;
// Numbered names tried past files that are not Vireo's before the start gives up.
constexpr int kMaxNameTries = 10000;
} // namespace

TransferLog& DownloadItem::Log() {
    if (!m_log)
        m_log = std::make_unique<TransferLog>();
    return *m_log;
}

void DownloadItem::AddRecord(std::string_view text, char kind, bool numbered) {
    Log().AddRecord(text, kind, numbered);
}

void DownloadItem::AddField(std::string_view name, std::string_view text, char kind,
                            bool numbered) {
    Log().AddField(name, text, kind, numbered);
}

void DownloadItem::AddDump(const char* data, size_t count) {
    Log().AddDump(data, count, 'E');
}

void DownloadItem::SetCredentials(std::string credentials) {
    m_credentials = std::move(credentials);
    m_credentialsHost = HostOf(m_url);
}

std::string DownloadItem::CredentialsFor(const std::string& host) {
    return AsciiLower(host) == AsciiLower(m_credentialsHost) ? m_credentials : std::string();
}

std::string DownloadItem::HostOf(const std::string& url) const {
    UrlParts parts;
    ParseUrl(url, parts, 0);
    return parts.host;
}

void DownloadItem::DeleteJob() {
    // The job may be the caller (a redirect, a finish): it is stopped now and freed once
    // its own call has returned.
    SocketWindow::Instance().Release(std::move(m_job));
}

void DownloadItem::CloseTarget(bool discard) {
    bool remove = m_file.IsOpen() && m_createdFile && !HasFlag(IF_RECEIVED) &&
                  (discard || m_file.Length() == 0);
    m_file.Close();
    m_createdFile = false;
    if (remove && TargetFile::IsOwn(m_targetPath))
        std::remove(m_targetPath.c_str());
}

bool DownloadItem::StartItem(const std::string& url, const std::string& fileName, bool resume) {
    m_digestWait.reset();
    m_digestCheck = DigestCheck::None;
    m_variant.reset();
    DeleteJob();
    CloseTarget();
    m_flags = 0;
    m_received = 0;
    m_size = 0;
    m_restarts = 0;
    m_url = url;
    if (fileName.empty())
        m_flags |= IF_NO_NAME;
    else
        SetTargetPath(fileName);
    if (resume)
        m_flags |= IF_RESUME;
    if (!CreateJob())
        return false;
    bool finished = false;
    if (!OpenTarget(resume, &finished))
        return false;
    if (finished)
        return true;
    m_job->SetStartOffset(resume ? m_file.Length() : 0);
    Notify(NotifyStarted);
    if (!m_job || !m_job->Start())
        return false;
    m_flags |= IF_DIRTY;
    return true;
}

bool DownloadItem::RestartItem(const std::string& url) {
    DeleteJob();
    m_flags &= 0xF0000000u;
    m_received = 0;
    m_size = 0;
    if (++m_restarts > kMaxRestarts) {
        CloseTarget();
        FailItem(ErrTooManyRedirects);
        return false;
    }
    std::string oldPath = m_targetPath;
    m_url = url;
    bool named = HasFlag(IF_NO_NAME);
    if (named) {
        // What this start wrote (a metafile naming the stream) is not the download: the
        // file goes, while a partial file of an earlier run stays for its own resume.
        CloseTarget(true);
        History().Remove(oldPath);
    }
    if (!CreateJob())
        return false;
    if (named) {
        bool finished = false;
        if (!OpenTarget(HasFlag(IF_RESUME), &finished))
            return false;
        if (finished)
            return true;
    }
    m_job->SetStartOffset(HasFlag(IF_RESUME) ? m_file.Length() : 0);
    if (!m_job->Start())
        return false;
    m_flags |= IF_DIRTY;
    return true;
}

void DownloadItem::StopTransfer() {
    m_digestWait.reset(); // a check under way is forgotten
    if (m_digestCheck == DigestCheck::Checking)
        m_digestCheck = DigestCheck::None;
    DeleteJob();
    CloseTarget();
}

bool DownloadItem::CreateJob() {
    if (HasFlag(IF_NO_NAME)) {
        std::string path = m_owner ? m_owner->TargetPath(m_url) : m_targetPath;
        if (m_owner)
            path = m_owner->StartPath(*this, path);
        SetTargetPath(path);
        History().Add(path, m_url);
    }
    AddRecord("log " + m_url + ", " + m_targetPath, '!');

    UrlParts parts;
    ParseUrl(m_url, parts);
    if (!parts.credentials.empty() && parts.credentials != m_credentials) {
        // Credentials in the address belong to that address's server.
        m_credentials = parts.credentials;
        m_credentialsHost = parts.host;
    } else if (!parts.credentials.empty()) {
        m_credentialsHost = parts.host;
    }

    std::unique_ptr<TransferJob> job = CreateTransferJob(this, m_url, parts);
    if (!job) {
        FailItem(ErrCreateProtocol);
        return false;
    }
    m_job = std::move(job);
    Notify(NotifyAttempt);
    return true;
}

bool DownloadItem::OpenTarget(bool resume, bool* finished) {
    *finished = false;
    CloseTarget();
    // A file that Vireo did not make is never written, cut or deleted: the download
    // takes the next free name instead.
    for (int tries = 0; TargetFile::IsForeign(m_targetPath); ++tries) {
        if (tries == kMaxNameTries) {
            FailItem(ErrOpenFile);
            return false;
        }
        std::string next = m_targetPath.substr(0, m_targetPath.rfind('/') + 1) +
                           NextNumberedName(LastPathComponent(m_targetPath));
        AddRecord("not touching " + m_targetPath + ", which Vireo did not make; using " + next,
                  '!');
        SetTargetPath(next);
    }
    bool created = false;
    if (!m_file.Open(m_targetPath, &created)) {
        FailItem(ErrOpenFile);
        return false;
    }
    m_createdFile = created;
    if (created || !resume) {
        m_file.Stamp(false);
        m_file.SetValidators({});
        m_file.SetSegments({});
        m_file.SetStream({});
    }
    if (!resume || !m_file.IsStampedComplete())
        return true;
    // A whole file from an earlier run: done without asking the server.
    m_job->SetStartOffset(m_file.Length());
    *finished = true;
    m_job->OnFinished();
    return true;
}

bool DownloadItem::SetTargetExtension(std::string_view extension) {
    std::string name = LastPathComponent(m_targetPath);
    size_t dot = name.rfind('.');
    std::string path = m_targetPath.substr(0, m_targetPath.size() - name.size()) +
                       (dot == std::string::npos ? name : name.substr(0, dot)) +
                       std::string(extension);
    // A partial file keeps the name it has: its bytes are the recording's.
    if (path == m_targetPath || !m_file.IsOpen() || m_file.Length() != 0)
        return true;
    if (m_owner)
        path = m_owner->StartPath(*this, path);
    CloseTarget(true);
    AddRecord("recording to " + path, '!');
    SetTargetPath(path);
    bool finished = false;
    return OpenTarget(HasFlag(IF_RESUME), &finished) && !finished;
}

template <class Write> bool DownloadItem::WriteChecked(Write write) {
    if (TargetFile::FreeSpace(m_targetPath) < kMinFreeSpace || !write()) {
        FailItem(ErrDiskFull);
        return false;
    }
    Notify(NotifyWritten);
    return true;
}

bool DownloadItem::WriteData(const char* data, size_t count) {
    return WriteChecked([&] { return m_file.Append(data, count); });
}

bool DownloadItem::WriteFromPipe(int pipeFd, size_t count) {
    return WriteChecked([&] { return m_file.AppendFromPipe(pipeFd, count); });
}

bool DownloadItem::WriteFromPipeAt(int64_t position, int pipeFd, size_t count) {
    return WriteChecked([&] { return m_file.WriteFromPipeAt(position, pipeFd, count); });
}

bool DownloadItem::WriteDataAt(int64_t position, const char* data, size_t count) {
    return WriteChecked([&] { return m_file.WriteAt(position, data, count); });
}

bool DownloadItem::AllocateFile(int64_t length) {
    if (!m_file.Allocate(length)) {
        FailItem(ErrDiskFull);
        return false;
    }
    return true;
}

void DownloadItem::SetFileLength(int64_t length) {
    m_file.SetLength(length);
}

void DownloadItem::FinishItem() {
    m_flags |= IF_RECEIVED;
    if (m_job) {
        m_size = m_job->Size();
        m_received = m_job->Bytes();
    }
    if (!m_digest.Valid()) {
        Complete();
        return;
    }
    // The whole file is hashed on a thread of its own; the item stays running until the
    // digest is known, and is stamped whole only if it is the expected one.
    DeleteJob();
    CloseTarget();
    m_digestCheck = DigestCheck::Checking;
    auto wait = std::make_shared<int>(0);
    m_digestWait = wait;
    HashFileLater(m_targetPath, m_digest.type,
                  [this, alive = std::weak_ptr<int>(wait)](const std::string& hex) {
                      if (alive.lock())
                          OnDigestKnown(hex);
                  });
}

void DownloadItem::OnDigestKnown(const std::string& hex) {
    m_digestWait.reset();
    std::string name = DigestName(m_digest.type);
    if (hex == m_digest.hex) {
        m_digestCheck = DigestCheck::Verified;
        AddRecord("checksum verified (" + name + " " + hex + ")", '!');
        History().NoteCheck(m_targetPath, "verified");
        Complete();
        return;
    }
    m_digestCheck = DigestCheck::Mismatch;
    AddRecord("checksum mismatch: expected " + name + " " + m_digest.hex + ", got " +
                  (hex.empty() ? "nothing (the file could not be read)" : hex),
              'E');
    History().NoteCheck(m_targetPath, "mismatch");
    FailItem(ErrChecksum);
}

void DownloadItem::Complete() {
    // Stamped before anybody hears of it: the owner closes the file on the notification.
    if (m_file.IsOpen())
        m_file.Stamp(true);
    else if (TargetFile::IsOwn(m_targetPath))
        TargetFile::Stamp(m_targetPath, true);
    Notify(NotifyFinished);
    DeleteJob();
    // A finished entry holds no descriptor: lists of thousands of entries stay cheap.
    CloseTarget();
}

int DownloadItem::FailItem(int code) {
    AddRecord(vireo::ErrorText(code, Received()), 'E');
    m_lastError = code;
    // The job knows what went wrong on its last attempt; failures of the item's own
    // (the file, the disk) have no cause beyond their text.
    m_failure = m_job ? m_job->Cause() : vireo::FailureCause{};
    m_flags |= IF_FAILED;
    // What arrived stays on disk for a resume; the descriptor is not kept.
    CloseTarget();
    Notify(NotifyFailed, code);
    return 0;
}

void DownloadItem::Notify(int code, int arg, std::vector<std::string> urls) {
    if (m_job) {
        m_size = m_job->Size();
        m_received = m_job->Bytes();
    }
    if (m_owner)
        m_owner->OnItemEvent(*this, ItemEvent{code, arg, std::move(urls)});
}

} // namespace vireo
