// The settings dialog, the continue and password dialogs.
#include "GuiFixture.h"

#include "app/RunOptions.h"
#include "app/gui/ContinueDialog.h"
#include "app/gui/PasswordDialog.h"
#include "app/gui/SettingsDialog.h"
#include "app/gui/WindowUi.h"
#include "downloads/DocCommand.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

using namespace vireo;
using namespace vireo::test;

namespace {
// A settings dialog whose folder browser and message boxes answer from the test.
class ScriptedSettings : public SettingsDialog {
public:
    using SettingsDialog::SettingsDialog;
    std::optional<QString> folder;
    std::vector<std::string> messages;

protected:
    std::optional<QString> AskFolder(const QString&) override { return folder; }
    void ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text) override {
        messages.push_back(std::to_string(int(icon)) + "|" + caption.toStdString() + "|" +
                           text.toStdString());
    }
};

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings().SetString(keys::DownPath, "/tmp/down");
        Settings().SetInt(keys::History, 1);
        Settings().SetInt(keys::Proxy, 0);
        Settings().SetInt(keys::DropToTray, 1);
        for (auto [key, value] : {std::pair{keys::Timeout, 40},
                                  {keys::MaxDown, 5},
                                  {keys::MaxAttemp, 5},
                                  {keys::HistoryMax, 100},
                                  {keys::IdleTime, 180},
                                  {keys::PnmPort, 7070},
                                  {keys::ProxyPort, 80}})
            Settings().SetInt(key, value);
    }
    std::unique_ptr<ScriptedSettings> Open() {
        return std::make_unique<ScriptedSettings>([this](bool on) { tray.push_back(on); });
    }

    TempSettings temp;
    std::vector<bool> tray;
};
} // namespace

TEST(SettingsText, NumbersAreReadLikeTheUserMeantThem) {
    const std::pair<const char*, int> cases[] = {
        {"12", 12}, {"  7", 7}, {"12abc", 12}, {"abc", 0},
        {"", 0},    {"-3", -3}, {"+4", 4},     {"99999999999", INT_MAX},
    };
    for (auto [text, value] : cases)
        EXPECT_EQ(SettingsDialog::TextToInt(text), value) << text;
    EXPECT_EQ(SettingsDialog::ShownFolder("/a/b"), "/a/b/");
    EXPECT_EQ(SettingsDialog::ShownFolder("/"), "/");
}

TEST_F(SettingsDialogTest, OkKeepsNumbersWithinTheirBounds) {
    struct Case {
        QLineEdit* (SettingsDialog::*edit)() const;
        IntKey key;
        const char* typed;
        int stored;
    };
    const Case cases[] = {
        {&SettingsDialog::AttemptsEdit, keys::MaxAttemp, "0", 1},
        {&SettingsDialog::AttemptsEdit, keys::MaxAttemp, "9000", 8192},
        {&SettingsDialog::MaxDownEdit, keys::MaxDown, "100", 32},
        {&SettingsDialog::MaxDownEdit, keys::MaxDown, "", 1},
        {&SettingsDialog::TimeoutEdit, keys::Timeout, "5", 10},
        {&SettingsDialog::TimeoutEdit, keys::Timeout, "45", 45},
        {&SettingsDialog::HistoryMaxEdit, keys::HistoryMax, "5000", 1000},
        {&SettingsDialog::HistoryMaxEdit, keys::HistoryMax, "-2", 1},
        {&SettingsDialog::IdleTimeEdit, keys::IdleTime, "1", 5},
        {&SettingsDialog::PnmPortEdit, keys::PnmPort, "0", 1},
        {&SettingsDialog::ProxyPortEdit, keys::ProxyPort, "0", 0},         // no bounds
        {&SettingsDialog::ProxyPortEdit, keys::ProxyPort, "70000", 70000}, // none at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key.name) + "=" + c.typed);
        auto dialog = Open();
        QLineEdit* edit = ((*dialog).*c.edit)();
        edit->setValidator(nullptr); // as if the text had got in some other way
        edit->setText(c.typed);
        dialog->OkButton()->click();
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(Settings().GetInt(c.key.name, -99), c.stored);
    }
}

TEST_F(SettingsDialogTest, OkWritesEveryControlAndTheFolderWithoutItsSlash) {
    auto dialog = Open();
    EXPECT_EQ(dialog->DownloadFolder()->text(), "/tmp/down/");
    dialog->folder = "/srv/files";
    dialog->BrowseButton()->click();
    EXPECT_EQ(dialog->DownloadFolder()->text(), "/srv/files/");
    dialog->ProxyCheck()->setChecked(true);
    dialog->ProxyServerEdit()->setText("cache.lan");
    dialog->LogCheck()->setChecked(false);
    dialog->KeepListCheck()->setChecked(true);
    dialog->AnimatedCheck()->setChecked(false);
    dialog->MinimizeCheck()->setChecked(true);
    EXPECT_EQ(dialog->SegmentsSpin()->value(), 1); // never set: one connection
    dialog->SegmentsSpin()->setValue(40);          // the box keeps it within 1 to 16
    dialog->OkButton()->click();
    EXPECT_EQ(Settings().GetString(keys::DownPath), "/srv/files");
    EXPECT_EQ(Settings().GetInt(keys::Segments.name, -1), 16);
    EXPECT_EQ(Settings().GetInt(keys::Proxy.name, -1), 1);
    EXPECT_EQ(Settings().GetString(keys::ProxyServer), "cache.lan");
    EXPECT_EQ(Settings().GetInt(keys::Log.name, -1), 0);
    EXPECT_EQ(Settings().GetInt(keys::KeepList.name, -1), 1);
    EXPECT_EQ(Settings().GetInt(keys::Animated.name, -1), 0);
    EXPECT_EQ(Settings().GetInt(keys::Minimize.name, -1), 1);

    // The root stays "/": without its slash it would name no folder at all.
    auto root = Open();
    root->folder = "/";
    root->BrowseButton()->click();
    root->OkButton()->click();
    EXPECT_EQ(Settings().GetString(keys::DownPath), "/");
}

TEST_F(SettingsDialogTest, TheStreamCapBoxesShowAndWriteTheirKeys) {
    Settings().SetInt(keys::HlsMaxHeight, 720);
    Settings().SetInt(keys::HlsMaxBandwidth, 0);
    auto dialog = Open();
    EXPECT_EQ(dialog->StreamHeightSpin()->value(), 720);
    EXPECT_EQ(dialog->StreamBandwidthSpin()->text(), "any");
    dialog->StreamHeightSpin()->setValue(0);
    dialog->StreamBandwidthSpin()->setValue(3000000);
    dialog->OkButton()->click();
    EXPECT_EQ(Settings().GetInt(keys::HlsMaxHeight.name, -1), 0);
    EXPECT_EQ(Settings().GetInt(keys::HlsMaxBandwidth.name, -1), 3000000);
}

TEST_F(SettingsDialogTest, TheSpeedLimitSpinBoxWritesMaxspeed) {
    Settings().SetInt(keys::MaxSpeed, 300);
    auto dialog = Open();
    EXPECT_EQ(dialog->MaxSpeedSpin()->value(), 300);
    dialog->MaxSpeedSpin()->setValue(0);
    EXPECT_EQ(dialog->MaxSpeedSpin()->text(), "none");
    dialog->OkButton()->click();
    EXPECT_EQ(Settings().GetInt(keys::MaxSpeed.name, -1), 0);
    auto again = Open();
    again->MaxSpeedSpin()->setValue(2048);
    again->CancelButton()->click();
    EXPECT_EQ(Settings().GetInt(keys::MaxSpeed.name, -1), 0);
}

TEST_F(SettingsDialogTest, CheckBoxesEnableTheirFields) {
    auto dialog = Open();
    EXPECT_FALSE(dialog->DetectButton()->isEnabled()); // proxy off
    EXPECT_FALSE(dialog->ProxyServerEdit()->isEnabled());
    EXPECT_FALSE(dialog->ProxyPortEdit()->isEnabled());
    EXPECT_TRUE(dialog->HistoryMaxEdit()->isEnabled());
    dialog->ProxyCheck()->click();
    EXPECT_TRUE(dialog->DetectButton()->isEnabled());
    EXPECT_TRUE(dialog->ProxyServerEdit()->isEnabled());
    EXPECT_TRUE(dialog->ProxyPortEdit()->isEnabled());
    dialog->HistoryCheck()->click();
    EXPECT_FALSE(dialog->HistoryMaxEdit()->isEnabled());

    Settings().SetInt(keys::History, 0);
    EXPECT_FALSE(Open()->HistoryMaxEdit()->isEnabled());
}

TEST_F(SettingsDialogTest, TrayBoxActsAtOnceAndCancelUndoesIt) {
    auto dialog = Open();
    dialog->TrayCheck()->click(); // off: the icon goes at once
    EXPECT_EQ(tray, std::vector<bool>{false});
    dialog->CancelButton()->click();
    EXPECT_EQ(tray, (std::vector<bool>{false, true})); // the stored 1 brings it back
    EXPECT_EQ(Settings().GetInt(keys::DropToTray.name, -1), 1);
}

TEST_F(SettingsDialogTest, DetectFillsTheProxyFieldsOrSaysNoneWasFound) {
    QByteArray saved = qgetenv("http_proxy");
    QByteArray savedUpper = qgetenv("HTTP_PROXY");
    qunsetenv("HTTP_PROXY");
    qputenv("http_proxy", "http://proxy.example:3128/");
    auto dialog = Open();
    dialog->ProxyCheck()->click();
    dialog->DetectButton()->click();
    EXPECT_EQ(dialog->ProxyServerEdit()->text(), "proxy.example");
    EXPECT_EQ(dialog->ProxyPortEdit()->text(), "3128");
    EXPECT_TRUE(dialog->ProxyCheck()->isChecked()); // detecting does not switch it

    qunsetenv("http_proxy");
    dialog->DetectButton()->click();
    EXPECT_EQ(dialog->ProxyServerEdit()->text(), "proxy.example"); // left as it was
    ASSERT_EQ(dialog->messages.size(), 2u);
    EXPECT_EQ(dialog->messages[0], std::to_string(int(QMessageBox::Information)) +
                                       "|Proxy server|server: proxy.example\nport: 3128");
    EXPECT_EQ(dialog->messages[1],
              std::to_string(int(QMessageBox::Warning)) + "|Not found|Proxy server not found");
    if (!saved.isNull())
        qputenv("http_proxy", saved);
    if (!savedUpper.isNull())
        qputenv("HTTP_PROXY", savedUpper);
}

TEST(ContinueDialogTest, EachButtonGivesItsAnswer) {
    using A = DocumentUi::ContinueAnswer;
    const std::pair<QPushButton* (ContinueDialog::*)() const, A> cases[] = {
        {&ContinueDialog::ReloadButton, A::Reload},
        {&ContinueDialog::ContinueButton, A::Continue},
        {&ContinueDialog::CancelButton, A::Cancel},
    };
    for (auto [button, answer] : cases) {
        ContinueDialog dialog;
        QTimer::singleShot(0, &dialog, [&dialog, button = button] { (dialog.*button)()->click(); });
        EXPECT_EQ(ContinueDialog::AnswerFor(dialog.exec()), answer);
    }
    ContinueDialog closed;
    QTimer::singleShot(0, &closed, [&closed] { closed.reject(); }); // Escape
    EXPECT_EQ(ContinueDialog::AnswerFor(closed.exec()), A::Cancel);
}

class PasswordFlow : public GuiFixture {};

TEST_F(PasswordFlow, OkWithAnEmptyPasswordStoresTheUserAndARestart) {
    WindowUi windowUi(*frame);
    doc.SetUi(&windowUi);
    AddFiles(1);
    ASSERT_EQ(doc.State(0), ItemState::Running);
    QString shownUrl;
    bool hidden = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<PasswordDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Enter Network Password");
        shownUrl = dialog->AddressField()->text();
        hidden = dialog->PasswordField()->echoMode() == QLineEdit::Password;
        dialog->UserField()->setText("ann");
        dialog->accept();
    });
    doc.OnCredentialsNeeded(&doc.Item(0));
    EXPECT_EQ(shownUrl.toStdString(), Url(0));
    EXPECT_TRUE(hidden);
    EXPECT_EQ(doc.Item(0).Credentials(), "ann:");
    EXPECT_EQ(doc.State(0), ItemState::Running); // waiting, then started again
    EXPECT_EQ(doc.script.started.size(), 2u);
    doc.SetUi(&ui);
}

TEST_F(PasswordFlow, CancelChangesNothing) {
    WindowUi windowUi(*frame);
    doc.SetUi(&windowUi);
    AddFiles(1);
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    doc.OnCredentialsNeeded(&doc.Item(0));
    EXPECT_EQ(doc.Item(0).Credentials(), "");
    EXPECT_EQ(doc.script.started.size(), 1u);
    doc.SetUi(&ui);
}

// `vireo -d DIR -j N` with a window: the dialog shows the stored values, OK keeps them in
// the file, and the run goes on with its own; a value changed in the dialog is stored and
// takes effect at once, also where the run had one of its own.
TEST_F(SettingsDialogTest, RunOnlyOptionsStayOutOfTheDialogAndTheFile) {
    RunOptions options;
    options.dir = temp.Path("/run-dir");
    options.jobs = 9;
    std::vector<RunList> lists;
    std::string error;
    ASSERT_TRUE(ApplyRunOptions(options, false, lists, error)) << error;
    ASSERT_EQ(Settings().GetInt(keys::MaxDown), 9);
    auto stored = [this](const char* key) {
        return QSettings(Settings().FilePath(), QSettings::IniFormat)
            .value(QString("setup/") + key)
            .toString()
            .toStdString();
    };

    auto unchanged = Open();
    EXPECT_EQ(unchanged->DownloadFolder()->text(), "/tmp/down/");
    EXPECT_EQ(unchanged->MaxDownEdit()->text(), "5");
    unchanged->OkButton()->click();
    EXPECT_EQ(stored("downpath"), "/tmp/down");
    EXPECT_EQ(stored("maxdown"), "5");
    EXPECT_EQ(Settings().GetInt(keys::MaxDown), 9); // the run keeps its -j
    EXPECT_EQ(Settings().GetString(keys::DownPath), temp.Path("/run-dir"));

    auto changed = Open();
    changed->MaxDownEdit()->setText("3");
    changed->TimeoutEdit()->setText("70");
    changed->OkButton()->click();
    EXPECT_EQ(stored("maxdown"), "3");
    EXPECT_EQ(Settings().GetInt(keys::MaxDown), 3); // at once
    EXPECT_EQ(Settings().GetInt(keys::Timeout), 70);
    EXPECT_EQ(Settings().GetString(keys::DownPath), temp.Path("/run-dir")); // not touched

    // Cancel changes nothing, neither the file nor the run.
    auto cancelled = Open();
    cancelled->DownloadFolder()->setText("/elsewhere/");
    cancelled->CancelButton()->click();
    EXPECT_EQ(Settings().GetString(keys::DownPath), temp.Path("/run-dir"));
}

// Through the window: the document takes the new number of downloads at once.
TEST_F(SettingsDialogTest, ANewNumberOfDownloadsStartsWaitingEntriesAtOnce) {
    Settings().SetInt(keys::MaxDown, 1);
    Settings().SetString(keys::DownPath, temp.Path(""));
    Settings().SetInt(keys::Version, 1);
    Settings().OverrideInt(keys::MaxDown, 1); // as -j 1 does
    FakeDocument doc;
    FakeTray::Log trayLog;
    CMainFrame frame(doc, std::make_unique<FakeTray>(trayLog));
    WindowUi ui(frame);
    doc.SetUi(&ui);
    doc.RecountSlots();
    frame.OnDocumentStarted();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(doc.AddUrl("http://h.x/f" + std::to_string(i), false));
    ASSERT_EQ(doc.RunningCount(), 1);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->MaxDownEdit()->setText("3");
        dialog->OkButton()->click();
    });
    doc.RunCommand(DocCommand::Settings);
    EXPECT_EQ(doc.RunningCount(), 3);
    doc.SetUi(nullptr);
}
