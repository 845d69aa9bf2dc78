// What the window front end reads from the desktop: the keyboard lights, the text
// editor's command line, the file dialogs' filters.
#include "app/gui/LockKeys.h"
#include "app/gui/TextEditorLauncher.h"
#include "app/gui/WindowUi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vireo;

namespace {
void Light(const QTemporaryDir& root, const QString& name, const char* brightness) {
    QDir(root.path()).mkpath(name);
    QFile file(root.path() + "/" + name + "/brightness");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(brightness);
}
} // namespace

TEST(LockKeysTest, AnyLitKeyboardLightCounts) {
    QTemporaryDir root;
    Light(root, "input3::capslock", "0\n");
    Light(root, "input7::capslock", "1\n"); // a second keyboard
    Light(root, "input3::numlock", "0\n");
    Light(root, "input3::scrolllock", "1\n");
    Light(root, "phy0-led", "1\n"); // not a keyboard light
    LockKeys keys = ReadLockKeys(root.path().toStdString());
    EXPECT_TRUE(keys.caps);
    EXPECT_FALSE(keys.num);
    EXPECT_TRUE(keys.scroll);

    LockKeys none = ReadLockKeys(root.path().toStdString() + "/missing");
    EXPECT_FALSE(none.caps || none.num || none.scroll);
}

TEST(TextEditorCommand, FileTakesThePlaceOfTheFieldCodes) {
    const QString path = "/tmp/my page.htm";
    const std::pair<const char*, QStringList> cases[] = {
        {"gedit %U", {"gedit", path}},
        {"kate -b %f", {"kate", "-b", path}},
        {"\"/opt/my editor/bin/ed\" --new-window %F",
         {"/opt/my editor/bin/ed", "--new-window", path}},
        {"mousepad", {"mousepad", path}},   // no field code: the file goes last
        {"xed %i %c %k %u", {"xed", path}}, // codes that give nothing are dropped
        {"pluma --arg=100%%", {"pluma", "--arg=100%", path}},
        {"", {}},
    };
    for (const auto& [exec, command] : cases)
        EXPECT_EQ(ExecLineCommand(exec, path), command) << exec;
}

TEST(FileDialogFilterTest, LabelsCarryTheirPatterns) {
    EXPECT_EQ(WindowUi::FileDialogFilter("Text files(*.txt)|*.txt|Any files (*.*)|*.*||"),
              "Text files(*.txt);;Any files (*.*)");
    EXPECT_EQ(WindowUi::FileDialogFilter(""), "");
}
