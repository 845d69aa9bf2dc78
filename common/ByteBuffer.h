#pragma once
// A growable array of bytes that owns its storage. Parsers keep their unconsumed input
// in one, file output builds headers in one, and the small stored files are loaded into
// and saved from one.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

class ByteBuffer {
public:
    static constexpr size_t npos = size_t(-1);

    ByteBuffer() = default;
    ByteBuffer(const void* data, size_t n) { Append(data, n); }
    explicit ByteBuffer(std::string_view text) { Append(text); }

    const uint8_t* Data() const { return m_bytes.data(); }
    uint8_t* Data() { return m_bytes.data(); }
    size_t Size() const { return m_bytes.size(); }
    bool Empty() const { return m_bytes.empty(); }
    uint8_t operator[](size_t i) const { return m_bytes[i]; }
    uint8_t& operator[](size_t i) { return m_bytes[i]; }
    std::string_view View() const {
        return {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()};
    }
    std::string_view View(size_t pos, size_t n = npos) const;
    std::string ToString() const { return std::string(View()); }

    void Clear() { m_bytes.clear(); }
    void Reserve(size_t n) { m_bytes.reserve(n); }
    void Resize(size_t n) { m_bytes.resize(n); }

    void Append(const void* data, size_t n);
    void Append(std::string_view text) { Append(text.data(), text.size()); }
    void AppendByte(uint8_t b) { m_bytes.push_back(b); }
    // Appends the text followed by its terminating zero byte.
    void AppendText(std::string_view text);
    void Assign(const void* data, size_t n);
    void Assign(std::string_view text) { Assign(text.data(), text.size()); }

    // Removes n bytes from pos; a range past the end is clipped.
    void Remove(size_t pos, size_t n);

    size_t Find(uint8_t byte, size_t from = 0) const;
    size_t Find(std::string_view text, size_t from = 0) const;

    // Big-endian reads; nullopt when the value would reach past the end.
    std::optional<uint16_t> ReadBE16At(size_t offset) const;
    std::optional<uint32_t> ReadBE32At(size_t offset) const;

    // Lines end at LF; a CR before the LF is dropped; a last line without LF counts.
    std::vector<std::string> SplitLines() const;
    // Pieces between separators; consecutive separators give empty pieces.
    std::vector<std::string> Split(char separator) const;

    // File operations return false on any failure and leave the buffer unchanged then.
    bool LoadFile(const std::string& path);
    bool SaveFile(const std::string& path, bool append = false) const;
    // Writes the whole buffer at the given position of an existing file.
    bool WriteAt(const std::string& path, uint64_t position) const;
    // Loads a resource compiled into the program (its name without the ":/" prefix).
    bool LoadResource(const std::string& name);

    bool operator==(const ByteBuffer& other) const { return m_bytes == other.m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace vireo
