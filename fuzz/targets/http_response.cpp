// An HTTP response, fed as a socket delivers it (see harness/ReadSplit.h), to a transfer
// that holds a partial file already. Input: the seed byte, one byte with the length of the
// partial file, then the server's bytes, after which the server closes.
//
// The header end found while the reads arrive (each search starting a little before the
// new bytes) must be the one found in the whole stream; the parsed header must give sane
// numbers; and the transfer fed those reads must never expect a negative size and must
// count exactly what its file holds.

#include "FakeHost.h"
#include "harness/FuzzCheck.h"
#include "harness/FuzzQt.h"
#include "harness/ReadSplit.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpTransfer.h"
#include "settings/SettingsStore.h"

#include <string>

using namespace vireo;

namespace {
// The attempt that follows a retry or a start over would open a connection; here the
// input ends with the attempt.
class Attempt : public HttpTransfer {
public:
    using HttpTransfer::HttpTransfer;
    Step Connect() override { return Step::GoOn(); }
};

void CheckHeader(const fuzz::SocketInput& in) {
    size_t end = HeaderTable::FindEnd(in.stream);
    std::string buffer;
    size_t found = 0;
    for (std::string_view read : fuzz::CutReads(in.seed, in.stream)) {
        size_t searched = buffer.size() > 3 ? buffer.size() - 3 : 0;
        buffer.append(read);
        found = HeaderTable::FindEnd(buffer, searched);
        if (found != 0)
            break;
    }
    FUZZ_CHECK(found == end, "the header end depends on where reads end");
    if (end == 0)
        return;
    FUZZ_CHECK(end <= in.stream.size(), "a header end past the bytes");
    HeaderTable header;
    header.Parse(in.stream.substr(0, end));
    for (const char* name : {"Content-Length", "Content-Range", "Transfer-Encoding"}) {
        header.Find(name);
        int64_t n = header.FindNumber(name);
        FUZZ_CHECK(n >= -1 || n == HeaderTable::kTooLarge,
                   "a negative header number other than -1 (none) or too large");
    }
    ContentRange range;
    if (ParseContentRange(header.Find("Content-Range"), &range))
        FUZZ_CHECK(range.first >= -1 && range.last >= -1 && range.total >= -1,
                   "a negative range field other than -1");
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::EnsureFuzzApp();
    Settings().SetInt(keys::MaxAttemp, 1); // a retry fails the item: the input is one attempt
    Settings().SetInt(keys::Proxy, 0);
    Settings().SetInt(keys::Timeout, 5);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::SocketInput in = fuzz::SplitSocketInput(data, size, 1);
    if (in.fixed.empty())
        return 0;
    CheckHeader(in);

    size_t held = uint8_t(in.fixed[0]);
    test::FakeHost host;
    host.file.assign(held, 'x');
    Attempt job(&host, "127.0.0.1", "/f", 80, false);
    job.SetStartOffset(int64_t(held));
    bool going = true;
    for (std::string_view read : fuzz::CutReads(in.seed, in.stream)) {
        going = job.HandleData(nullptr, read.data(), read.size());
        FUZZ_CHECK(job.Size() >= 0, "a negative expected size");
        if (!going)
            break;
    }
    if (going)
        job.HandleClosed(nullptr);
    FUZZ_CHECK(job.Size() >= 0, "a negative expected size");
    FUZZ_CHECK(int64_t(host.file.size()) == job.Bytes(), "the file holds other than was counted");
    return 0;
}
