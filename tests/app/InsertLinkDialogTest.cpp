// The insert-link dialog: what it shows from the settings, which controls may be used
// when, what OK stores, and the recent addresses in "prefer.dat".
#include "app/gui/InsertLinkDialog.h"
#include "GuiFixture.h"
#include "app/gui/WindowUi.h"
#include "downloads/RecentUrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace vireo;
using namespace vireo::test;

namespace {
class InsertLinkDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = temp.Path("/home");
        QDir().mkpath(QString::fromStdString(home));
        Settings().SetString(keys::Cwd, home);
    }
    std::string PreferPath() const { return home + "/prefer.dat"; }
    void WritePrefer(const QByteArray& text) {
        QFile f(QString::fromStdString(PreferPath()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray ReadPrefer() const {
        QFile f(QString::fromStdString(PreferPath()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    static QStringList Items(const InsertLinkDialog& d) {
        QStringList items;
        for (int i = 0; i < d.UrlBox()->count(); ++i)
            items << d.UrlBox()->itemText(i);
        return items;
    }
    // Types url over the edit text and confirms.
    static void Confirm(InsertLinkDialog& d, const QString& url) {
        d.UrlBox()->lineEdit()->selectAll();
        QTest::keyClicks(d.UrlBox()->lineEdit(), url);
        d.OkButton()->click();
    }

    TempSettings temp;
    std::string home;
};

struct Shown {
    bool useFilterChecked, useFilterEnabled, retrieveOnlyChecked, groupEnabled;
    int icon;
};

Shown Look(const InsertLinkDialog& d) {
    return {d.UseFilterBox()->isChecked(), d.UseFilterBox()->isEnabled(),
            d.RetrieveOnlyButton()->isChecked(),
            d.RetrieveOnlyButton()->isEnabled() && d.GetAllExceptButton()->isEnabled() &&
                d.PassOnlyField()->isEnabled() && d.ExceptField()->isEnabled(),
            d.IconNumber()};
}

bool operator==(const Shown& a, const Shown& b) {
    return a.useFilterChecked == b.useFilterChecked && a.useFilterEnabled == b.useFilterEnabled &&
           a.retrieveOnlyChecked == b.retrieveOnlyChecked && a.groupEnabled == b.groupEnabled &&
           a.icon == b.icon;
}
std::ostream& operator<<(std::ostream& os, const Shown& s) {
    return os << "use filter " << s.useFilterChecked << "/" << s.useFilterEnabled
              << " retrive only " << s.retrieveOnlyChecked << " group " << s.groupEnabled
              << " icon " << s.icon;
}
} // namespace

TEST_F(InsertLinkDialogTest, OpensWithTheStoredChoicesAndTheirEnabling) {
    struct {
        int filter, frompage;
        Shown shown;
    } cases[] = {
        {3, 1, {true, true, true, true, 195}},   {1, 1, {true, true, false, true, 195}},
        {2, 1, {false, true, true, false, 195}}, {0, 1, {false, true, false, false, 195}},
        {3, 0, {true, false, true, false, 196}},
    };
    for (const auto& c : cases) {
        Settings().SetInt(keys::Filter, c.filter);
        Settings().SetInt(keys::FromPage, c.frompage);
        InsertLinkDialog d;
        EXPECT_EQ(Look(d), c.shown) << "filter " << c.filter << " frompage " << c.frompage;
        EXPECT_EQ(d.windowTitle(), "insert link");
    }
}

TEST_F(InsertLinkDialogTest, ClicksChangeTheModeAndWhatMayBeUsed) {
    Settings().SetInt(keys::Filter, 3);
    Settings().SetInt(keys::FromPage, 0);
    InsertLinkDialog d;
    d.LinkToPageBox()->click();
    EXPECT_EQ(Look(d), (Shown{true, true, true, true, 195}));
    d.UseFilterBox()->click();
    EXPECT_EQ(d.FilterMode(), 2);
    EXPECT_EQ(Look(d), (Shown{false, true, true, false, 195}));
    d.UseFilterBox()->click();
    EXPECT_EQ(d.FilterMode(), 3);
    d.GetAllExceptButton()->click();
    EXPECT_EQ(d.FilterMode(), 1);
    d.RetrieveOnlyButton()->click();
    EXPECT_EQ(d.FilterMode(), 3);
    d.LinkToPageBox()->click();
    EXPECT_EQ(Look(d), (Shown{true, false, true, false, 196}));
}

TEST_F(InsertLinkDialogTest, AnEditedEmptyUrlCannotBeConfirmed) {
    InsertLinkDialog d;
    EXPECT_TRUE(d.OkButton()->isEnabled()); // untouched and empty: the caller complains
    QTest::keyClicks(d.UrlBox()->lineEdit(), "h");
    EXPECT_TRUE(d.OkButton()->isEnabled());
    QTest::keyClick(d.UrlBox()->lineEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(d.OkButton()->isEnabled());
    QTest::keyClicks(d.UrlBox()->lineEdit(), "x");
    EXPECT_TRUE(d.OkButton()->isEnabled());
}

TEST_F(InsertLinkDialogTest, OkStoresTheChoicesAndOnlyTheChosenList) {
    Settings().SetInt(keys::Filter, 1);
    Settings().SetInt(keys::FromPage, 0);
    Settings().SetString(keys::PassOnly, "*.ra");
    Settings().SetString(keys::Except, "*.htm");
    InsertLinkDialog d;
    d.LinkToPageBox()->click();
    d.RetrieveOnlyButton()->click();
    d.PassOnlyField()->setText("*.zip");
    d.ExceptField()->setText("*.txt");
    Confirm(d, "http://h.x/p.htm");
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.Url(), "http://h.x/p.htm");
    EXPECT_TRUE(d.LinkToPage());
    EXPECT_EQ(Settings().GetInt(keys::Filter.name, -1), 3);
    EXPECT_EQ(Settings().GetInt(keys::FromPage.name, -1), 1);
    EXPECT_EQ(Settings().GetString(keys::PassOnly), "*.zip");
    EXPECT_EQ(Settings().GetString(keys::Except), "*.htm");

    // Without the filter neither list is stored.
    InsertLinkDialog off;
    off.UseFilterBox()->click();
    off.PassOnlyField()->setText("*.rm");
    Confirm(off, "http://h.x/q.htm");
    EXPECT_EQ(Settings().GetInt(keys::Filter.name, -1), 2);
    EXPECT_EQ(Settings().GetString(keys::PassOnly), "*.zip");
}

TEST_F(InsertLinkDialogTest, RecentUrlsComeFromAndGoBackToPreferDat) {
    WritePrefer("http://a.x/1\r\nhttp://b.x/2\r\nhttp://c.x/3\r\n");
    {
        InsertLinkDialog d;
        EXPECT_EQ(Items(d), (QStringList{"http://a.x/1", "http://b.x/2", "http://c.x/3"}));
        EXPECT_EQ(d.Url(), "http://a.x/1"); // the newest is selected
        Confirm(d, "http://c.x/3");
    }
    EXPECT_EQ(ReadPrefer(), "http://c.x/3\r\nhttp://a.x/1\r\nhttp://b.x/2\r\n");
    {
        InsertLinkDialog d;
        d.reject(); // Cancel writes nothing
    }
    EXPECT_EQ(ReadPrefer(), "http://c.x/3\r\nhttp://a.x/1\r\nhttp://b.x/2\r\n");

    // Twenty-six distinct addresses: the first one confirmed drops out.
    QFile::remove(QString::fromStdString(PreferPath()));
    for (int i = 0; i < 26; ++i) {
        InsertLinkDialog d;
        Confirm(d, QString("http://h.x/%1").arg(i));
    }
    std::vector<std::string> stored = RecentUrls::Parse(ReadPrefer().toStdString());
    ASSERT_EQ(stored.size(), 25u);
    EXPECT_EQ(stored.front(), "http://h.x/25");
    EXPECT_EQ(stored.back(), "http://h.x/1");
    EXPECT_TRUE(ReadPrefer().endsWith("http://h.x/1\r\n"));
}

TEST_F(InsertLinkDialogTest, AMissingHistoryIsEmptyAndAnUnwritableOneIsNotReported) {
    Settings().SetString(keys::Cwd, temp.Path("/no/such/dir"));
    InsertLinkDialog d;
    EXPECT_EQ(d.UrlBox()->count(), 0);
    EXPECT_EQ(d.Url(), "");
    Confirm(d, "http://h.x/a");
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

class InsertLinkFlow : public GuiFixture {};

TEST_F(InsertLinkFlow, TheCommandAddsTheConfirmedPage) {
    WindowUi windowUi(*frame);
    doc.SetUi(&windowUi);
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<InsertLinkDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        if (!d->LinkToPage())
            d->LinkToPageBox()->click();
        QTest::keyClicks(d->UrlBox()->lineEdit(), " h.x/links.htm ");
        d->OkButton()->click();
    });
    doc.RunCommand(DocCommand::InsertLink);
    ASSERT_EQ(doc.ItemCount(), 1);
    EXPECT_EQ(doc.Item(0).Url(), "http://h.x/links.htm");
    EXPECT_EQ(doc.Row(0).linkToPage, 1);

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    doc.RunCommand(DocCommand::InsertLink);
    EXPECT_EQ(doc.ItemCount(), 1); // cancelled
    doc.SetUi(&ui);
}
