#include "peers/ProxyPeer.h"
#include "peers/Curl.h"
#include "peers/NginxPeer.h"

#include <gtest/gtest.h>

using namespace vireo::test;

TEST(ProxyPeerTest, ForwardsHttpAndTunnelsConnect) {
    NginxPeer nginx;
    ProxyPeer proxy;
    ASSERT_TRUE(nginx.Start());
    ASSERT_TRUE(proxy.Start());
    nginx.Put("via.txt", "through the proxy");

    CurlResult plain = RunCurl({"-x", "http://" + proxy.HostPort(), nginx.HttpUrl("/via.txt")});
    EXPECT_EQ(plain.status, 200);
    EXPECT_EQ(plain.body, "through the proxy");

    CurlResult tunnel = RunCurl({"-x", "http://" + proxy.HostPort(), "--cacert", nginx.CaFile(),
                                 nginx.HttpsUrl("/via.txt")});
    EXPECT_EQ(tunnel.exitCode, 0) << tunnel.error.toStdString();
    EXPECT_EQ(tunnel.body, "through the proxy");

    const QStringList expected = {QString("GET %1 HTTP/1.1").arg(nginx.HttpUrl("/via.txt")),
                                  QString("CONNECT 127.0.0.1:%1 HTTP/1.1").arg(nginx.HttpsPort())};
    EXPECT_TRUE(WaitUntil([&] { return proxy.Requests() == expected; }, 2000))
        << proxy.Requests().join('\n').toStdString();
}
