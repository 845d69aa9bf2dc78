#include "downloads/LinkFilter.h"
#include "TempSettings.h"

#include <gtest/gtest.h>

using namespace vireo;

TEST(LinkFilter, ParsesListsIntoExtensions) {
    using V = std::vector<std::string>;
    EXPECT_EQ(LinkFilter::ParseList("*.RA; *.ram;;*.rm"), (V{"ra", "ram", "rm"}));
    EXPECT_EQ(LinkFilter::ParseList("ra;*.tar.gz;x.;;"), (V{"ra", "tar.gz", "x."}));
    EXPECT_EQ(LinkFilter::ParseList(""), V{});
}

TEST(LinkFilter, MatchesWholeExtensionsByMode) {
    LinkFilter only{LinkFilter::RetrieveOnly, LinkFilter::ParseList("*.RA; *.ram;;*.rm")};
    LinkFilter except{LinkFilter::GetAllExcept, LinkFilter::ParseList("*.htm;*.html;*.txt")};
    LinkFilter tar{LinkFilter::RetrieveOnly, LinkFilter::ParseList("*.tar.gz;readme")};
    LinkFilter none{LinkFilter::None, LinkFilter::ParseList("*.zip")};
    LinkFilter other{2, LinkFilter::ParseList("*.zip")};
    EXPECT_TRUE(only.Passes("Ra"));
    EXPECT_FALSE(only.Passes("r"));
    EXPECT_FALSE(except.Passes("htm"));
    EXPECT_TRUE(except.Passes("zip"));
    EXPECT_FALSE(tar.Passes("gz"));
    EXPECT_TRUE(tar.Passes("README"));
    EXPECT_TRUE(none.Passes("exe"));
    EXPECT_TRUE(other.Passes("exe"));
}

TEST(LinkFilter, ReadsTheListOfItsModeFromSettings) {
    test::TempSettings temp;
    Settings().SetString(keys::PassOnly, "*.mp3");
    Settings().SetString(keys::Except, "*.htm");
    Settings().SetInt(keys::Filter, 3);
    EXPECT_EQ(LinkFilter::FromSettings().extensions, std::vector<std::string>{"mp3"});
    temp.Reopen();
    Settings().SetInt(keys::Filter, 1);
    Settings().SetString(keys::Except, "*.htm");
    EXPECT_EQ(LinkFilter::FromSettings().extensions, std::vector<std::string>{"htm"});
}
