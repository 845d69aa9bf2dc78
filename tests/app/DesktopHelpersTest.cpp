// What the window front end reads from the desktop: the text editor's command line, the
// file dialogs' filters.
#include "app/gui/TextEditorLauncher.h"
#include "app/gui/WindowUi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vireo;

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
