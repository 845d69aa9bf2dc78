#pragma once
// An item double for job tests: it keeps written bytes in memory and records what the
// job reports.

#include "engine/JobHost.h"

#include <string>
#include <vector>

namespace vireo::test {

class FakeHost : public JobHost {
public:
    const std::string& Url() const override { return url; }
    std::string CredentialsFor(const std::string&) override { return {}; }
    void ChangeFlags(uint32_t set, uint32_t clear) override { flags = (flags & ~clear) | set; }
    bool WriteData(const char* data, size_t count) override {
        file.append(data, count);
        return true;
    }
    void SetFileLength(int64_t length) override { file.resize(size_t(length)); }
    int64_t FileLength() override { return int64_t(file.size()); }
    std::string ReadFileHead(size_t count) override { return file.substr(0, count); }
    bool WriteFileAt(int64_t position, const char* data, size_t count) override {
        // Like the real file: a write past the end extends it.
        if (position < 0)
            return false;
        if (size_t(position) + count > file.size())
            file.resize(size_t(position) + count);
        file.replace(size_t(position), count, data, count);
        return true;
    }
    bool ReadFileAt(int64_t position, char* data, size_t count) override {
        if (position < 0 || size_t(position) + count > file.size())
            return false;
        file.copy(data, count, size_t(position));
        return true;
    }
    FileValidators StoredValidators() override { return validators; }
    void StoreValidators(const FileValidators& v) override { validators = v; }
    SegmentState StoredSegments() override { return segments; }
    void StoreSegments(const SegmentState& state) override { segments = state; }
    bool AllocateFile(int64_t length) override {
        file.resize(size_t(length));
        return true;
    }
    void FinishItem() override { ++finished; }
    int FailItem(int code) override {
        errors.push_back(code);
        return 0;
    }
    void Notify(int code, int, std::vector<std::string>) override { notes.push_back(code); }
    bool RestartItem(const std::string&) override { return false; }
    void AddRecord(std::string_view text, char kind, bool) override {
        log += kind;
        log += ' ';
        log += text;
        log += '\n';
    }
    void AddField(std::string_view name, std::string_view text, char kind, bool n) override {
        AddRecord(std::string(name) + ": " + std::string(text), kind, n);
    }
    void AddDump(const char*, size_t) override {}

    std::string url = "http://h.x/f";
    uint32_t flags = 0;
    std::string file;
    FileValidators validators;
    SegmentState segments;
    std::string log;
    int finished = 0;
    std::vector<int> errors;
    std::vector<int> notes;
};

} // namespace vireo::test
