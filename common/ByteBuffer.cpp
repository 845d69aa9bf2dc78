#include "common/ByteBuffer.h"

#include "common/Endian.h"

#include <cstdio>
#include <cstring>

namespace vireo {

std::string_view ByteBuffer::View(size_t pos, size_t n) const {
    if (pos > m_bytes.size())
        return {};
    return View().substr(pos, n);
}

void ByteBuffer::Append(const void* data, size_t n) {
    if (n == 0)
        return;
    const auto* p = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), p, p + n);
}

void ByteBuffer::AppendText(std::string_view text) {
    Append(text);
    m_bytes.push_back(0);
}

void ByteBuffer::Assign(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    m_bytes.assign(p, p + n);
}

void ByteBuffer::Remove(size_t pos, size_t n) {
    if (pos >= m_bytes.size())
        return;
    size_t end = (n > m_bytes.size() - pos) ? m_bytes.size() : pos + n;
    m_bytes.erase(m_bytes.begin() + long(pos), m_bytes.begin() + long(end));
}

size_t ByteBuffer::Find(uint8_t byte, size_t from) const {
    if (from >= m_bytes.size())
        return npos;
    const void* hit = std::memchr(m_bytes.data() + from, byte, m_bytes.size() - from);
    return hit ? size_t(static_cast<const uint8_t*>(hit) - m_bytes.data()) : npos;
}

size_t ByteBuffer::Find(std::string_view text, size_t from) const {
    size_t at = View().find(text, from);
    return at == std::string_view::npos ? npos : at;
}

std::optional<uint16_t> ByteBuffer::ReadBE16At(size_t offset) const {
    if (offset > m_bytes.size() || m_bytes.size() - offset < 2)
        return std::nullopt;
    return ReadBE16(m_bytes.data() + offset);
}

std::optional<uint32_t> ByteBuffer::ReadBE32At(size_t offset) const {
    if (offset > m_bytes.size() || m_bytes.size() - offset < 4)
        return std::nullopt;
    return ReadBE32(m_bytes.data() + offset);
}

std::vector<std::string> ByteBuffer::SplitLines() const {
    std::vector<std::string> lines;
    std::string_view rest = View();
    while (!rest.empty()) {
        size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (lf == std::string_view::npos)
            break;
        rest.remove_prefix(lf + 1);
    }
    return lines;
}

std::vector<std::string> ByteBuffer::Split(char separator) const {
    std::vector<std::string> pieces;
    std::string_view rest = View();
    for (;;) {
        size_t at = rest.find(separator);
        pieces.emplace_back(rest.substr(0, at));
        if (at == std::string_view::npos)
            break;
        rest.remove_prefix(at + 1);
    }
    return pieces;
}

bool ByteBuffer::LoadFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok)
        m_bytes.swap(bytes);
    return ok;
}

bool ByteBuffer::SaveFile(const std::string& path, bool append) const {
    FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (!f)
        return false;
    bool ok =
        m_bytes.empty() || std::fwrite(m_bytes.data(), 1, m_bytes.size(), f) == m_bytes.size();
    return (std::fclose(f) == 0) && ok;
}

bool ByteBuffer::WriteAt(const std::string& path, uint64_t position) const {
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f)
        return false;
    bool ok =
        fseeko(f, off_t(position), SEEK_SET) == 0 &&
        (m_bytes.empty() || std::fwrite(m_bytes.data(), 1, m_bytes.size(), f) == m_bytes.size());
    return (std::fclose(f) == 0) && ok;
}

} // namespace vireo
