// The texts of passive-mode replies (227 and 229): the input is one reply text.

#include "harness/FuzzCheck.h"
#include "protocols/FtpDataPort.h"

#include <string_view>

using namespace vireo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    int pasv = PasvPort(text);
    int epsv = EpsvPort(text);
    FUZZ_CHECK(pasv == -1 || (pasv >= 0 && pasv <= 65535), "PASV port outside 0..65535");
    FUZZ_CHECK(epsv == -1 || (epsv >= 0 && epsv <= 65535), "EPSV port outside 0..65535");
    return 0;
}
