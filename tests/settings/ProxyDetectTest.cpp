#include "settings/ProxyDetect.h"
#include "TempSettings.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <map>

using namespace vireo;

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

TEST(ProxyEnvironment, EachSchemeItsVariableThenAllProxyAndNoProxyGoesDirect) {
    ProxyEnvironment env;
    env.http = "http://web.lan:3128/";
    env.all = "all.lan:8080";
    env.noProxy = "localhost, .inner.lan,example.org:443,[::1]";
    struct Case {
        const char* url;
        DetectedProxy expected;
    } cases[] = {
        {"http://h.x/f", {true, "web.lan", 3128}},
        {"HTTP://h.x/f", {true, "web.lan", 3128}},
        {"https://h.x/f", {true, "all.lan", 8080}},
        {"ftp://u:p@h.x/f", {true, "all.lan", 8080}},
        {"pnm://h.x/f.ra", {}},
        {"http://localhost:8080/f", {}},
        {"http://a.inner.lan/f", {}},
        {"http://inner.lan/f", {}},
        {"http://winner.lan/f", {true, "web.lan", 3128}},
        {"https://www.example.org/f", {}},
        {"http://badexample.org/f", {true, "web.lan", 3128}},
        {"http://[::1]:8080/f", {}},
        {"http://user@LOCALHOST./f", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(env.For(c.url), c.expected) << c.url;
    env.https = "socks5://s.lan:1080"; // no HTTP proxy: direct
    EXPECT_EQ(env.For("https://h.x/"), DetectedProxy{});
    EXPECT_TRUE(NoProxyNames("*", "any.host"));
    EXPECT_FALSE(NoProxyNames("", "any.host"));
    EXPECT_FALSE(NoProxyNames(",, ,", "any.host"));
}

TEST(ProxyEnvironment, LowerCaseFirstThenUpperAndTheRunsRuleBeforeTheSettings) {
    static std::map<std::string, std::string> vars;
    vars = {{"http_proxy", "low.lan:1"}, {"HTTP_PROXY", "up.lan:2"}, {"HTTPS_PROXY", "s.lan:3"},
            {"ftp_proxy", ""},           {"FTP_PROXY", "f.lan:4"},   {"NO_PROXY", "x.lan"}};
    ProxyEnvironment env = ProxyEnvironment::Read([](const char* name) -> const char* {
        auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(env.http, "low.lan:1");
    EXPECT_EQ(env.https, "s.lan:3");
    EXPECT_EQ(env.ftp, "f.lan:4");
    EXPECT_EQ(env.all, "");
    EXPECT_EQ(env.noProxy, "x.lan");
    EXPECT_TRUE(env.NamesProxy());
    EXPECT_FALSE(ProxyEnvironment{}.NamesProxy());

    vireo::test::TempSettings temp;
    Settings().SetInt(keys::Proxy, 1);
    Settings().SetString(keys::ProxyServer, "stored.lan");
    Settings().SetInt(keys::ProxyPort, 8000);
    EXPECT_EQ(ProxyFor("http://h.x/"), (DetectedProxy{true, "stored.lan", 8000}));
    SetRunProxyRule([](std::string_view) { return DetectedProxy{}; });
    EXPECT_EQ(ProxyFor("http://h.x/"), DetectedProxy{});
    SetRunProxyRule({});
    Settings().SetInt(keys::Proxy, 0);
    EXPECT_EQ(ProxyFor("http://h.x/"), DetectedProxy{});
}
