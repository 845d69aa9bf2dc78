// Writes the seed corpus of every fuzz target from the fixtures the tests use (the PNA
// server's bytes, recordings the writer makes, history files, the texts of the parser
// tables). Run once when the fixtures change; the files are kept in fuzz/corpus/:
//   build/fuzz/fuzz_make_seeds fuzz/corpus

#include "HistoryBytes.h"
#include "PnaBytes.h"
#include "protocols/RealMediaWriter.h"

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using namespace vireo;
using namespace vireo::test;

namespace {
std::filesystem::path g_root;

void Put(const std::string& target, const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(g_root / target);
    std::ofstream(g_root / target / name, std::ios::binary) << bytes;
}
// A socket input: the seed byte in front of the stream.
std::string Seeded(uint8_t seed, const std::string& stream) {
    return std::string(1, char(seed)) + stream;
}

std::string Deflate(const std::string& text, int windowBits) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(text.size() + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string Block(int i, size_t size) {
    std::string b(size, '\0');
    for (size_t k = 0; k < size; ++k)
        b[k] = char((i * 131 + k * 7 + (k * k) % 11) & 0xFF);
    return b;
}

void PnaAndRecordings() {
    std::string ra3 = RaV3Header({"Title", "", "", ""});
    std::string ra4 = RaV4Header({"t", "", "", "x"});
    std::string prop = PropChunk(3000);
    std::string cont = ContChunk({"T", "A", "", ""});
    std::string mdpr = MdprChunk(0, "audio/x-pn-realaudio");
    std::string data18 = Chunk("DATA", Be32(0) + Be32(0));
    std::string rmf = RmfChunk();
    std::string rmHeader = rmf + prop + "r\x01\x02" + cont + mdpr + data18 + EndBlock();
    std::vector<std::pair<std::string, std::string>> streams = {
        {"ra-v8-i", RaReplyI(ra3) + Gap() + "e" + std::string(8, 'x') + Be16(3) + "xyz" +
                        Packet11("one") + "??" + "a" + Packet11("two") + "aE.E.E" +
                        Packet11(std::string(300, 'E')) + "E"},
        {"ra-v8-r", RaReplyR(ra3) + Gap() + Packet11("p") + "E"},
        {"ra-v8-v4", RaReplyI(ra4) + Gap() + Packet11(Block(1, 240)) + Packet11(Block(2, 240))},
        {"ra-v5", RaReply5(ra3) + Packet12("first") + "a?" + Packet12("second") + "E"},
        {"rm-short", Reply(10, 'O') + rmHeader + "??b1234567a1234" + Packet20(0, 0, 2, "p0") +
                         Be16(10) + std::string(8, 'E') + Packet20(40, 1, 0, std::string(70, 'E')) +
                         "E"},
        {"rm-long", Reply(10, 'O') + prop + mdpr + EndBlock() + Packet90(7, 1, 2, "pp") +
                        "b1234567" + Packet90(9, 0, 0, "") + "E"},
        {"rm-cut-packet", Reply(10, 'O') + prop + EndBlock() + Packet20(1, 0, 2, "whole") +
                              Packet20(2, 0, 2, "cut").substr(0, 13)},
        {"busy", Reply(8, 'X') + "rest"},
        {"message", Reply(10, 'O') + prop + "X" + Be16(9) + "Too many!" + "more"},
        {"not-pna", "HTTP/1.0 200 OK\r\n\r\nhe"},
    };
    for (const auto& [name, bytes] : streams) {
        Put("pna_stream", name + "-whole", Seeded(0, bytes));
        Put("pna_stream", name + "-cut", Seeded(5, bytes));
    }

    // Partial recordings as the writer leaves them, and cut short.
    auto audio = [](const std::string& header, int blocks) {
        MemoryRecording rec;
        RecordingState state;
        state.streamType = 11;
        RealMediaWriter writer(rec, state);
        writer.RealAudioHeader(header, 8);
        for (int i = 0; i < blocks; ++i)
            writer.RealAudioBlock(Block(i, 240));
        writer.FinalPatch();
        return rec.file;
    };
    auto media = [&](int packets) {
        MemoryRecording rec;
        RecordingState state;
        state.streamType = 20;
        RealMediaWriter writer(rec, state);
        std::vector<std::string> chunks = {
            PropChunk(4000), mdpr, MdprChunk(1, "video/x-pn-realvideo", Be32(34) + "VIDORV10")};
        writer.RealMediaHeader(std::vector<std::string_view>(chunks.begin(), chunks.end()));
        for (int i = 0; i < packets; ++i) {
            uint16_t stream = i % 3 == 2 ? 1 : 0;
            uint8_t flags = (stream == 0 ? i % 4 == 0 : i % 6 == 2) ? 2 : 0;
            writer.RealMediaPacket({uint32_t(i * 40), stream, flags, Block(i, 30 + i % 17)});
        }
        writer.FinalPatch();
        return rec.file;
    };
    std::string a3 = audio(RaV3Header({"a", "b", "c", "d"}), 20);
    std::string a4 = audio(ra4, 12);
    std::string m = media(24);
    Put("resume", "ra3-20-blocks", a3);
    Put("resume", "ra3-cut", a3.substr(0, a3.size() - 100));
    Put("resume", "ra3-live", audio(RaV3Header({"", "", "", "Live"}), 10));
    Put("resume", "ra4-12-blocks", a4);
    Put("resume", "rm-24-packets", m);
    Put("resume", "rm-cut", m.substr(0, m.size() * 2 / 3));
}

void History() {
    HistoryTime d1{2024, 5, 16, 10, 0, 0};
    HistoryTime d2{2024, 5, 17, 9, 30, 5};
    std::vector<FileRecord> records = {{d1, "a.zip", "http://h.x/a.zip"},
                                       {d1, "b.iso", "ftp://h.x/pub/b.iso"},
                                       {d2, "c.rm", "pnm://h.x/c.rm"}};
    Put("history", "two-days", BuildHistory(records, {{d1, 2}, {d2, 1}}).ToString());
    Put("history", "empty-group", BuildHistory({}, {{d1, 0}}).ToString());
    Put("history", "short", std::string("hi!!\x01\x00", 6));
}

void Texts() {
    std::string body = "The quick brown fox jumps over the lazy dog. " + std::string(200, 'z');
    Put("inflate", "gzip", Seeded(0, Deflate(body, 15 + 16)));
    Put("inflate", "zlib-cut", Seeded(3, Deflate(body, 15)));
    Put("inflate", "raw-cut", Seeded(1, Deflate(body, -15)));
    Put("chunked", "two-chunks", Seeded(0, "5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\n\r\n"));
    Put("chunked", "trailer-cut",
        Seeded(2, "1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-T: 1\r\n\r\nrest"));
    Put("chunked", "bad-size", Seeded(4, "zz\r\nhello\r\n"));
    Put("http_response", "200-length",
        Seeded(0, std::string(1, '\0') +
                      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nETag: \"e1\"\r\n\r\nhello"));
    Put("http_response", "206-resume",
        Seeded(3, std::string(1, '\x05') + "HTTP/1.1 206 Partial\r\nContent-Length: "
                                           "5\r\nContent-Range: bytes 5-9/10\r\n\r\n56789"));
    Put("http_response", "chunked-gzip",
        Seeded(
            6,
            std::string(1, '\0') +
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Encoding: gzip\r\n\r\n" +
                [&] {
                    std::string z = Deflate(body, 31);
                    char n[16];
                    snprintf(n, sizeof n, "%zx\r\n", z.size());
                    return std::string(n) + z + "\r\n0\r\n\r\n";
                }()));
    Put("http_response", "302-lf",
        Seeded(1, std::string(1, '\0') + "HTTP/1.0 302 Found\nLocation: /elsewhere\n\n"));
    Put("http_response", "416",
        Seeded(0, std::string(1, '\x0a') +
                      "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */10\r\n\r\n"));
    Put("ftp_reply", "login",
        Seeded(0, "220 ready\r\n331 password please\r\n230 logged in\r\n"
                  "215 UNIX Type: L8\r\n250 ok\r\n"));
    Put("ftp_reply", "multiline-cut",
        Seeded(2, "220-first\r\n220-second\r\n220 ready\r\n"
                  "213 20240101120000\r\n227 Entering Passive Mode (127,0,0,1,25,46)\r\n"));
    Put("ftp_reply", "skipped-lines", Seeded(9, "junk\nx\r\n150-a\n  150 inside\n150 done\n"));
    Put("ftp_listing", "unix",
        "-rw-r--r--    1 0        0          123456 Jan 01 12:00 file.zip\r\n"
        "-rw-r--r-- 1 ftp ftp 5000000000 Mar  3  2021 my big file.iso\n"
        "-rw-r--r-- 1 owner 77 Dec 31 23:59 no group\n"
        "-rw-r--r--+ 1 u g 9 jun 30 2001 acl\ntotal 12\n");
    Put("ftp_listing", "other",
        "123456 Jan 01 12:00 file.zip\nx 2048 Sep 9 1999 f\n"
        "01-15-20  10:30AM  123456 file.zip\n");
    Put("ftp_pasv", "pasv", "227 Entering Passive Mode (127,0,0,1,25,46)");
    Put("ftp_pasv", "pasv-eq", "227 =10,9,8,7,4,1");
    Put("ftp_pasv", "epsv", "229 Entering Extended Passive Mode (|||6446|)");
    Put("ftp_pasv", "epsv-other", "229 ok (!!!1025!)");
    Put("http_proxy", "host-port", "proxy.lan:3128");
    Put("http_proxy", "url", "http://user:pw@proxy.lan:8080/");
    Put("http_proxy", "bad-port", "proxy.lan:80x");
    Put("page_links", "links",
        "http://h.x/dir/page.htm\n<a href=\"a.zip\"><A HREF=../up.zip>"
        "<a href='/top.zip'><img src=x href=\"http://o.y/x.zip\">");
    Put("page_links", "base",
        "http://h.x/d/p.htm\n<a href=one.zip>< base href=\"http://m.z/files/\">"
        "<a href=\"two.zip\"><a href=\"./b.zip\"><a href=\"../../../x\">");
    Put("list_file", "lines",
        "http://h.x/a.zip\r\nftp://h.x/b.iso\n\n  pnm://h.x/c.rm  \rwww.h.x/d\0after");
    Put("recent_urls", "prefer", "http://h.x/a.zip\r\nhttp://h.x/b.zip\r\n\r\nftp://h.x/c\n");
    Put("settings_file", "first-run",
        "[setup]\nwfile=200\nmaxdown=5\npassonly=\"*.ra;*.ram;*.rm\"\n"
        "except=*.htm, *.html\nproxyport=3128\nmwndrect=10 20 800 600\n"
        "logrect=-1 -1 -1 -1\ntimeout= 40 \n");
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " CORPUS_DIR\n";
        return 2;
    }
    g_root = argv[1];
    PnaAndRecordings();
    History();
    Texts();
    return 0;
}
