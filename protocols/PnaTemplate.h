#pragma once
// The PNA client hello that opens every stream. It is not composed field by field: a
// complete hello is stored among the program's resources, loaded once into a program-wide
// buffer, and each request is a copy of it with the requested path written at its end.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vireo {

class PnaTemplate {
public:
    static constexpr size_t kBufferSize = 1396;
    // The part of the template a request starts from.
    static constexpr size_t kCopied = 512;
    static constexpr size_t kPathLengthOffset = 370;
    static constexpr size_t kPathOffset = 372;
    // Longest path a request buffer holds (the path plus "yB" fill the buffer).
    static constexpr size_t kMaxPath = kBufferSize - kPathOffset - 2;

    // Copies the stored hello (resource type VDATA, id 166) into the program-wide buffer;
    // false when the resource is missing. Loading again is harmless.
    static bool Load();
    static bool IsLoaded();
    // The program-wide buffer as loaded (zero past the stored bytes).
    static std::string_view Buffer();

    // The hello asking for path: one leading "/" is dropped, the rest goes in as it is.
    // Nothing when the path is longer than the request buffer holds.
    static std::optional<std::string> BuildRequest(std::string_view path);
};

} // namespace vireo
