#pragma once
// The GET requests the HTTP transfer sends, byte for byte.

#include <cstdint>
#include <string>

namespace vireo {

// target: the path, or the whole URL in proxy form; start: the resume offset (0 for a
// fresh download); authorization: the Authorization value, or empty.
std::string BuildHttpRequest(const std::string& target, const std::string& host, int64_t start,
                             const std::string& authorization);

} // namespace vireo
