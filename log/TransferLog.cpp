#include "log/TransferLog.h"

#include "common/ByteBuffer.h"
#include "log/LogDirectory.h"
#include "log/LogWindowSink.h"
#include "settings/SettingsStore.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace vireo {

namespace {

// Opens a log file, creating the log directory first when it is missing (a first log, or
// a directory removed while the program runs). -1 when it cannot be opened.
int OpenLogFile(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENOENT) {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
        fd = ::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    }
    return fd;
}

// The log file opened for appending. O_APPEND puts every write at the end of the file,
// so a line costs one open, one write and one close: no seek, no read, nothing that
// grows with the size of the log.
class AppendFile {
public:
    explicit AppendFile(const std::string& path) : m_fd(OpenLogFile(path, O_APPEND)) {}
    ~AppendFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }

    bool Write(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            bytes.remove_prefix(size_t(n));
        }
        return true;
    }

private:
    int m_fd;
};

// Dump rows go to the file in batches of about this many bytes (one open per batch
// rather than one per row, and bounded memory for a large dump).
constexpr size_t kDumpBatchBytes = 64 * 1024;

} // namespace

TransferLog::TransferLog() {
    SettingsStore& settings = Settings();
    int number = NextFileNumber(settings.GetInt(keys::LogNum));
    settings.SetInt(keys::LogNum, number);

    m_path = TransferLogDirectory() + "/" + std::to_string(number) + ".log";

    if (LogOn()) {
        int fd = OpenLogFile(m_path, O_TRUNC);
        if (fd >= 0)
            ::close(fd);
    }
}

TransferLog::~TransferLog() {
    CloseWindow();
    RemoveFile();
}

int TransferLog::NextFileNumber(int storedLogNum) {
    if (storedLogNum > 666 || storedLogNum < 1)
        storedLogNum = 1;
    return storedLogNum + 1;
}

bool TransferLog::LogOn() {
    return Settings().GetInt(keys::Log) != 0;
}

int TransferLog::NextNumber() {
    // A 32-bit signed counter that wraps instead of overflowing after 2^31 records.
    m_counter = int(unsigned(m_counter) + 1u);
    return m_counter;
}

void TransferLog::AddRecord(std::string_view text, char kind, bool numbered) {
    if (!LogOn())
        return;
    WriteLine(numbered ? FormatLogRecord(NextNumber(), kind, text) : FormatLogLine(text));
}

void TransferLog::AddField(std::string_view name, std::string_view text, char kind, bool numbered) {
    if (!LogOn())
        return;
    WriteLine(numbered ? FormatLogField(NextNumber(), kind, name, text)
                       : FormatLogFieldLine(name, text));
}

void TransferLog::WriteLine(std::string line) {
    m_lastRecord = std::move(line);
    {
        AppendFile file(m_path);
        if (!file.IsOpen())
            return;
        file.Write(m_lastRecord); // a failed write is skipped like any logging error
    }
    NotifyWindow();
}

void TransferLog::NotifyWindow() {
    if (m_window)
        m_window->OnLogRecordAdded(*this);
}

void TransferLog::AddDump(const void* data, size_t length, char kind) {
    if (!LogOn())
        return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!bytes)
        length = 0;
    AddRecord(kDumpHeader, kind, true);

    // The rows are written as if each were its own unnumbered AddRecord: every row
    // becomes LastRecord in turn, and the window hears of each row once it is on disk.
    // They only share their opens, a batch at a time.
    const uint64_t rows = DumpRowCount(length);
    uint64_t row = 0;
    std::vector<std::string> batch;
    while (row < rows) {
        batch.clear();
        size_t batchBytes = 0;
        std::string joined;
        for (; row < rows && batchBytes < kDumpBatchBytes; ++row) {
            size_t from = size_t(row * 16);
            size_t count = length - from < 16 ? length - from : 16;
            batch.push_back(FormatLogLine(FormatDumpRow(bytes + from, count)));
            batchBytes += batch.back().size();
        }
        joined.reserve(batchBytes);
        for (const std::string& line : batch)
            joined += line;

        AppendFile file(m_path);
        if (!file.IsOpen()) {
            // No row can be written; as row by row, the last one formatted stays.
            size_t last = size_t((rows - 1) * 16);
            m_lastRecord = FormatLogLine(FormatDumpRow(bytes + last, length - last));
            return;
        }
        file.Write(joined);
        for (std::string& line : batch) {
            m_lastRecord = std::move(line);
            NotifyWindow();
        }
    }
}

void TransferLog::CopyTo(const std::string& destination) const {
    // Read first, so that a log that cannot be read leaves the destination untouched.
    ByteBuffer content;
    if (!content.LoadFile(m_path))
        return;
    content.SaveFile(destination); // truncates: the copy is exactly as long as the log
}

void TransferLog::RemoveFile() {
    if (LogOn())
        ::unlink(m_path.c_str());
}

void TransferLog::AttachWindow(LogWindowSink* window) {
    m_window = window;
}

void TransferLog::DetachWindow(LogWindowSink* window) {
    if (m_window == window)
        m_window = nullptr;
}

void TransferLog::CloseWindow() {
    if (LogWindowSink* window = m_window) {
        window->CloseLogWindow(*this);
        m_window = nullptr;
    }
}

} // namespace vireo
