// The web servers that only serve static files: each comes up, serves a file byte for
// byte, answers a range with 206, and names the version it serves with validators that
// an If-Range can match.
#include "peers/ApachePeer.h"
#include "peers/Curl.h"
#include "peers/LighttpdPeer.h"
#include "peers/TestFiles.h"

#include <gtest/gtest.h>

using namespace vireo::test;

namespace {

template <class Peer> class StaticPeerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_peer.Start()); }

    Peer m_peer;
};

using StaticPeers = testing::Types<LighttpdPeer, ApachePeer>;
TYPED_TEST_SUITE(StaticPeerTest, StaticPeers);

TYPED_TEST(StaticPeerTest, ServesAFileWholeAndARangeAs206) {
    const QByteArray data = RandomBytes(300000, 3);
    this->m_peer.Put("dir/data.bin", data);
    const QString url = this->m_peer.HttpUrl("/dir/data.bin");

    CurlResult whole = RunCurl({url});
    EXPECT_EQ(whole.exitCode, 0) << whole.error.toStdString();
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.Header("Accept-Ranges"), "bytes");
    EXPECT_TRUE(whole.body == data);

    CurlResult part = RunCurl({"-r", "1000-1999", url});
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.Header("Content-Range"), "bytes 1000-1999/300000");
    EXPECT_TRUE(part.body == data.mid(1000, 1000));
    EXPECT_TRUE(this->m_peer.AccessLog().contains(
        "\"GET /dir/data.bin HTTP/1.1\" 206 1000 \"bytes=1000-1999\" \"-\""))
        << this->m_peer.AccessLog().toStdString();

    CurlResult missing = RunCurl({this->m_peer.HttpUrl("/no/such.bin")});
    EXPECT_EQ(missing.status, 404);
}

TYPED_TEST(StaticPeerTest, IfRangeWithItsOwnEtagGetsTheRangeAndAnyOtherTheWholeFile) {
    const QByteArray data = RandomBytes(100000, 4);
    // apache2 tags a file changed within the last second weakly, and If-Range never
    // matches a weak tag.
    ASSERT_TRUE(SetModified(this->m_peer.Put("data.bin", data),
                            QDateTime::currentDateTime().addSecs(-3600)));
    const QString url = this->m_peer.HttpUrl("/data.bin");
    CurlResult whole = RunCurl({url});
    const QByteArray etag = whole.Header("ETag");
    ASSERT_TRUE(etag.startsWith('"') && etag.endsWith('"')) << etag.toStdString();
    EXPECT_NE(whole.Header("Last-Modified"), "");

    CurlResult same = RunCurl({"-r", "500-", "-H", "If-Range: " + QString(etag), url});
    EXPECT_EQ(same.status, 206);
    EXPECT_TRUE(same.body == data.mid(500));
    CurlResult other = RunCurl({"-r", "500-", "-H", "If-Range: \"another\"", url});
    EXPECT_EQ(other.status, 200);
    EXPECT_TRUE(other.body == data);
    EXPECT_TRUE(this->m_peer.AccessLog().contains("\"bytes=500-\" \"\\\"another\\\"\""))
        << this->m_peer.AccessLog().toStdString();
}

} // namespace
