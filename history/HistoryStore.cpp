#include "history/HistoryStore.h"

#include "common/ByteBuffer.h"
#include "common/SetAside.h"
#include "history/HistoryWindowSink.h"
#include "history/ReplaceFile.h"
#include "settings/SettingsStore.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vireo {

namespace {

std::unique_ptr<HistoryStore>& GlobalHistory() {
    static std::unique_ptr<HistoryStore> store;
    return store;
}

enum class ReadResult { Ok, Missing, TooLarge, Failed };

// The whole file; Missing only when it does not exist, TooLarge when it is longer than
// a history file can say in its 32-bit length (it is not read then).
ReadResult ReadWholeFile(const std::string& path, ByteBuffer& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && uint64_t(st.st_size) > std::numeric_limits<uint32_t>::max()) {
        ::close(fd);
        return ReadResult::TooLarge;
    }
    ByteBuffer bytes;
    if (ok)
        bytes.Reserve(size_t(st.st_size));
    uint8_t chunk[65536];
    while (ok) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        bytes.Append(chunk, size_t(n));
    }
    ::close(fd);
    if (!ok)
        return ReadResult::Failed;
    out = std::move(bytes);
    return ReadResult::Ok;
}

} // namespace

HistoryStore::HistoryStore(std::string directory) : m_directory(std::move(directory)) {}

HistoryStore::~HistoryStore() {
    CloseWindow();
}

std::string HistoryStore::FilePath() const {
    std::string dir = m_directory.empty() ? Settings().GetString(keys::Cwd) : m_directory;
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir + std::string(kFileName);
}

std::string HistoryStore::ChecksPath() const {
    std::string path = FilePath();
    return path.substr(0, path.size() - kFileName.size()) + std::string(kChecksName);
}

namespace {
// The lines of the checks file as (file, result), oldest first.
std::vector<std::pair<std::string, std::string>> ReadCheckLines(const std::string& path) {
    std::vector<std::pair<std::string, std::string>> lines;
    ByteBuffer bytes;
    if (ReadWholeFile(path, bytes) != ReadResult::Ok)
        return lines;
    std::string_view text = bytes.View();
    while (!text.empty()) {
        size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        size_t tab = line.find('\t');
        if (tab != std::string_view::npos && tab > 0 && tab + 1 < line.size())
            lines.emplace_back(std::string(line.substr(tab + 1)), std::string(line.substr(0, tab)));
    }
    return lines;
}
} // namespace

bool HistoryStore::NoteCheck(std::string_view fileName, std::string_view result) {
    if (!HistoryOn() || fileName.empty() || result.empty() ||
        fileName.find_first_of("\t\r\n") != std::string_view::npos ||
        result.find_first_of("\t\r\n") != std::string_view::npos)
        return false;
    auto lines = ReadCheckLines(ChecksPath());
    std::erase_if(lines, [&](const auto& line) { return line.first == fileName; });
    lines.emplace_back(std::string(fileName), std::string(result));
    if (lines.size() > kMaxChecks)
        lines.erase(lines.begin(), lines.end() - long(kMaxChecks));
    std::string text;
    for (const auto& [file, said] : lines)
        text += said + "\t" + file + "\n";
    return ReplaceFileContents(ChecksPath(), text.data(), text.size());
}

std::map<std::string, std::string> HistoryStore::ReadChecks() const {
    std::map<std::string, std::string> checks;
    for (auto& [file, result] : ReadCheckLines(ChecksPath()))
        checks[file] = result;
    return checks;
}

bool HistoryStore::HistoryOn() {
    return Settings().GetInt(keys::History) != 0;
}

void HistoryStore::SetClock(Clock clock) {
    m_clock = std::move(clock);
}

HistoryTime HistoryStore::Now() const {
    return m_clock ? m_clock() : HistoryTime::Now();
}

bool HistoryStore::Load(const HistoryTime& now, HistoryFile& image) {
    ByteBuffer bytes;
    switch (ReadWholeFile(FilePath(), bytes)) {
    case ReadResult::Failed:
        return false;
    case ReadResult::Missing:
        image = HistoryFile::Fresh(now);
        return Store(image);
    case ReadResult::TooLarge: // its header cannot hold its length
        return StartOverDamaged(now, image);
    case ReadResult::Ok:
        break;
    }
    switch (HistoryFile::Parse(bytes, image)) {
    case HistoryFile::ParseResult::TooShort:
        return false;
    case HistoryFile::ParseResult::Invalid:
        return StartOverDamaged(now, image);
    case HistoryFile::ParseResult::Ok:
        break;
    }
    m_index = image.Groups();
    m_loaded = true;
    return true;
}

bool HistoryStore::StartOverDamaged(const HistoryTime& now, HistoryFile& image) {
    // The records it still holds stay readable beside the fresh history.
    std::string aside = SetAside(FilePath());
    if (aside.empty())
        return false; // never replaced while it cannot be kept
    qWarning("vireo: the history file %s cannot be read; it was kept as %s and a new one begun",
             FilePath().c_str(), aside.c_str());
    image = HistoryFile::Fresh(now);
    return Store(image);
}

bool HistoryStore::Store(const HistoryFile& image) {
    ByteBuffer bytes;
    if (!image.Serialize(bytes) || !ReplaceFileContents(FilePath(), bytes.Data(), bytes.Size()))
        return false;
    m_index = image.Groups();
    m_loaded = true;
    return true;
}

bool HistoryStore::Add(std::string_view fileName, std::string_view url) {
    if (!HistoryOn())
        return false;
    const HistoryTime now = Now();
    HistoryFile image;
    if (!Load(now, image))
        return false;
    image.Add(now, fileName, url);
    // Trimming belongs to the same replacement, so no reader ever sees the longer file.
    const int64_t max = Settings().GetInt(keys::HistoryMax);
    const int64_t count = image.RecordCount();
    if (count > max)
        image.Trim(uint64_t(std::max<int64_t>(1, count / 10)), now);
    return Store(image);
}

bool HistoryStore::Remove(std::string_view fileName) {
    if (!HistoryOn())
        return false;
    const HistoryTime now = Now();
    HistoryFile image;
    if (!Load(now, image))
        return false;
    if (!image.Remove(now, fileName))
        return true; // nothing to delete; the file stays as it is
    return Store(image);
}

bool HistoryStore::Trim(int count) {
    if (!HistoryOn())
        return false;
    const HistoryTime now = Now();
    HistoryFile image;
    if (!Load(now, image))
        return false;
    image.Trim(uint64_t(std::max(count, 0)), now);
    return Store(image);
}

bool HistoryStore::Clear() {
    ::unlink(ChecksPath().c_str());
    return Store(HistoryFile::Fresh(Now()));
}

std::vector<HistoryEntry> HistoryStore::ReadEntries() const {
    ByteBuffer bytes;
    if (ReadWholeFile(FilePath(), bytes) != ReadResult::Ok)
        return {};
    return HistoryFile::ReadRecords(bytes.Data(), bytes.Size());
}

void HistoryStore::AttachWindow(HistoryWindowSink* window) {
    m_window = window;
}

void HistoryStore::DetachWindow(HistoryWindowSink* window) {
    if (m_window == window)
        m_window = nullptr;
}

void HistoryStore::CloseWindow() {
    if (HistoryWindowSink* window = m_window) {
        window->CloseHistoryWindow(*this);
        m_window = nullptr;
    }
}

HistoryStore& History() {
    auto& store = GlobalHistory();
    if (!store)
        store = std::make_unique<HistoryStore>();
    return *store;
}

void OpenHistory(std::string directory) {
    auto& store = GlobalHistory();
    store.reset(); // the old store closes its window first
    store = std::make_unique<HistoryStore>(std::move(directory));
}

} // namespace vireo
