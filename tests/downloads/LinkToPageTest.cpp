// A page with links, fetched from a real web server with "link to page" on: the links the
// retrieve-only list lets through are queued and downloaded, the others never asked for.
#include "TempSettings.h"
#include "downloads/NullDocumentUi.h"
#include "downloads/VireoDoc.h"
#include "peers/NginxPeer.h"
#include "peers/TestApp.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
class InsertPageUi : public NullDocumentUi {
public:
    std::optional<InsertLinkAnswer> AskInsertLink() override { return answer; }
    void ShowMessage(const std::string&, const std::string& text) override {
        messages.push_back(text);
    }
    InsertLinkAnswer answer;
    std::vector<std::string> messages;
};

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST(LinkToPage, QueuesAndDownloadsTheLinksThatPassTheFilter) {
    EnsureTestApp();
    TempSettings temp;
    QString out = QString::fromStdString(temp.Path("/out"));
    QDir().mkpath(out);
    Settings().SetString(keys::DownPath, out.toStdString());
    Settings().SetString(keys::Cwd, temp.Path("/home"));
    Settings().SetInt(keys::MaxDown, 2);
    Settings().SetInt(keys::History, 0);
    Settings().SetInt(keys::Timeout, 10);
    Settings().SetInt(keys::Proxy, 0);
    Settings().SetInt(keys::Filter, 3);
    Settings().SetString(keys::PassOnly, "*.bin;*.zip");

    NginxPeer server;
    ASSERT_TRUE(server.Start());
    QByteArray bin = RandomBytes(200000, 7), zip = RandomBytes(70000, 8);
    server.Put("files/a.bin", bin);
    server.Put("b.zip", zip);
    server.Put("files/c.txt", "not wanted\n");
    server.Put("files/page.htm", "<html><body>\n<a href=\"a.bin\">a</a>\n"
                                 "<A HREF=../b.zip>b</A>\n<a href=\"c.txt\">c</a>\n"
                                 "</body></html>\n");

    InsertPageUi ui;
    ui.answer = {server.HttpUrl("/files/page.htm").toStdString(), true};
    CVireoDoc doc;
    doc.SetUi(&ui);
    doc.RecountSlots();
    doc.RunCommand(DocCommand::InsertLink);
    ASSERT_EQ(doc.ItemCount(), 1) << (ui.messages.empty() ? "" : ui.messages[0]);

    auto allDone = [&] {
        for (int i = 0; i < doc.ItemCount(); ++i)
            if (doc.State(i) != ItemState::Done && doc.State(i) != ItemState::Failed)
                return false;
        return doc.ItemCount() > 1;
    };
    ASSERT_TRUE(WaitUntil(allDone, 30000));

    ASSERT_EQ(doc.ItemCount(), 3);
    EXPECT_EQ(doc.Item(1).Url(), server.HttpUrl("/files/a.bin").toStdString());
    EXPECT_EQ(doc.Item(2).Url(), server.HttpUrl("/b.zip").toStdString());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(doc.State(i), ItemState::Done) << doc.Item(i).Url();
    EXPECT_EQ(ReadFile(out + "/a.bin"), bin);
    EXPECT_EQ(ReadFile(out + "/b.zip"), zip);
    EXPECT_FALSE(QFile::exists(out + "/c.txt"));
    EXPECT_FALSE(server.AccessLog().contains("c.txt"));
}
