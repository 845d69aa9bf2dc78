#include "settings/ProxyDetect.h"

#include <gtest/gtest.h>

using vireo::DetectedProxy;

TEST(ProxyDetect, ParsesTheFormsTheEnvironmentUses) {
    struct Case {
        const char* text;
        DetectedProxy expected;
    } cases[] = {
        {"", {false, "", 80}},
        {"proxy.lan:3128", {true, "proxy.lan", 3128}},
        {"http://proxy.lan:3128", {true, "proxy.lan", 3128}},
        {"http://proxy.lan:3128/", {true, "proxy.lan", 3128}},
        {"proxy.lan", {true, "proxy.lan", 80}},
        {"http://proxy.lan/", {true, "proxy.lan", 80}},
        {"http://user:pw@proxy.lan:8080", {true, "proxy.lan", 8080}},
        {"proxy.lan:65535", {true, "proxy.lan", 65535}},
        // A port that names no port is refused whole: no host is taken either.
        {"p:9999999999", {false, "", 80}},
        {"p:65536", {false, "", 80}},
        {"p:0", {false, "", 80}},
        {"p:", {false, "", 80}},
        {"p:abc", {false, "", 80}},
        {"p:80x", {false, "", 80}},
        {"http://p:-1/", {false, "", 80}},
        {"http://p:99999999999999999999999/", {false, "", 80}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vireo::ParseProxyText(c.text), c.expected) << c.text;
}

TEST(ProxyDetect, LowerCaseVariableWinsAndEmptyMeansDirect) {
    setenv("http_proxy", "http://a.lan:1", 1);
    setenv("HTTP_PROXY", "b.lan:2", 1);
    EXPECT_EQ(vireo::DetectProxy(), (DetectedProxy{true, "a.lan", 1}));
    unsetenv("http_proxy");
    EXPECT_EQ(vireo::DetectProxy(), (DetectedProxy{true, "b.lan", 2}));
    unsetenv("HTTP_PROXY");
    EXPECT_EQ(vireo::DetectProxy(), (DetectedProxy{false, "", 80}));
}
