// The replies of an FTP control connection, fed as a socket delivers them (see
// harness/ReadSplit.h): whole and cut, the replies and the error must agree.

#include "harness/FuzzCheck.h"
#include "harness/ReadSplit.h"
#include "protocols/FtpReplyParser.h"

#include <string>
#include <vector>

using namespace vireo;

namespace {
struct Outcome {
    std::vector<FtpReply> replies;
    bool error = false;
    bool operator==(const Outcome& o) const {
        if (error != o.error || replies.size() != o.replies.size())
            return false;
        for (size_t i = 0; i < replies.size(); ++i) {
            if (replies[i].code != o.replies[i].code || replies[i].lines != o.replies[i].lines)
                return false;
        }
        return true;
    }
};

Outcome Parse(const std::vector<std::string_view>& reads) {
    FtpReplyParser parser;
    Outcome out;
    for (std::string_view read : reads) {
        parser.Feed(read);
        FtpReplyParser::Result r;
        FtpReply reply;
        while ((r = parser.Next(&reply)) == FtpReplyParser::Result::Reply) {
            FUZZ_CHECK(reply.code >= 0 && reply.code <= 999, "a reply code of other than 3 digits");
            FUZZ_CHECK(!reply.lines.empty(), "a reply without lines");
            reply.LogText();
            out.replies.push_back(reply);
            reply = FtpReply();
        }
        if (r == FtpReplyParser::Result::Error) {
            out.error = true;
            break;
        }
        FUZZ_CHECK(parser.Pending() <= FtpReplyParser::kMaxReply + read.size(),
                   "more held than the reply limit allows");
    }
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::SocketInput in = fuzz::SplitSocketInput(data, size);
    Outcome whole = Parse(fuzz::CutReads(0, in.stream));
    Outcome cut = Parse(fuzz::CutReads(in.seed, in.stream));
    FUZZ_CHECK(whole == cut, "the replies depend on where reads end");
    return 0;
}
