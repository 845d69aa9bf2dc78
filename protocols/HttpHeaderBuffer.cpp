#include "protocols/HttpHeaderBuffer.h"

#include "protocols/HeaderTable.h"

namespace vireo {

size_t HttpHeaderBuffer::Append(const char* data, size_t count) {
    size_t searched = m_bytes.size() > 3 ? m_bytes.size() - 3 : 0;
    m_bytes.append(data, count);
    return HeaderTable::FindEnd(m_bytes, searched);
}

size_t HttpHeaderBuffer::DropAndFind(size_t count) {
    m_bytes.erase(0, count);
    return HeaderTable::FindEnd(m_bytes, 0);
}

std::string HttpHeaderBuffer::TakeRest(size_t headerLength) {
    std::string rest = m_bytes.substr(headerLength);
    Clear();
    return rest;
}

void HttpHeaderBuffer::Clear() {
    m_bytes.clear();
    m_bytes.shrink_to_fit();
}

} // namespace vireo
