#include "downloads/RecentUrls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vireo;
using V = std::vector<std::string>;

TEST(RecentUrls, ReadsLinesWithAnyLineEndAndWritesCrLf) {
    EXPECT_EQ(RecentUrls::Parse("http://a/1\r\nhttp://b/2\nhttp://c/3\r\r\n\nhttp://d/4"),
              (V{"http://a/1", "http://b/2", "http://c/3", "http://d/4"}));
    EXPECT_EQ(RecentUrls::Parse(""), V{});
    EXPECT_EQ(RecentUrls::Text({"http://a/1", "http://b/2"}), "http://a/1\r\nhttp://b/2\r\n");
    EXPECT_EQ(RecentUrls::Text({}), "");
}

TEST(RecentUrls, AConfirmedUrlGoesToTheTopOnceAndTheOldestDropOut) {
    V urls{"http://a/1", "http://b/2", "http://c/3"};
    RecentUrls::Confirm(urls, "http://c/3");
    EXPECT_EQ(urls, (V{"http://c/3", "http://a/1", "http://b/2"}));
    RecentUrls::Confirm(urls, "http://A/1"); // case matters
    EXPECT_EQ(urls.size(), 4u);
    RecentUrls::Confirm(urls, "");
    EXPECT_EQ(urls.size(), 4u);

    V full;
    for (int i = 0; i < 25; ++i)
        RecentUrls::Confirm(full, "http://h/" + std::to_string(i));
    ASSERT_EQ(full.size(), 25u);
    RecentUrls::Confirm(full, "http://h/25");
    ASSERT_EQ(full.size(), 25u);
    EXPECT_EQ(full.front(), "http://h/25");
    EXPECT_EQ(full.back(), "http://h/1"); // http://h/0 was the oldest

    V longer;
    for (int i = 0; i < 30; ++i)
        longer.push_back(std::string("http://u/").append(std::to_string(i)));
    RecentUrls::Confirm(longer, "http://u/29");
    EXPECT_EQ(longer.size(), 25u);
    EXPECT_EQ(longer.front(), "http://u/29");
}
