#include "app/gui/CommandTable.h"

#include "downloads/DocCommand.h"

namespace vireo {

namespace {
constexpr int Id(DocCommand c) {
    return int(c);
}
} // namespace

const std::vector<MenuCommand>& MainMenuCommands() {
    static const std::vector<MenuCommand> table{
        {"&File", "&New\tCtrl+N", Id(DocCommand::NewList), "new list\nnew"},
        {"&File", "&Open...\tCtrl+O", Id(DocCommand::OpenList), "open list\nopen"},
        {"&File", "&Save\tCtrl+S", Id(DocCommand::SaveList), "save list\nsave"},
        {"&File", nullptr, 0, nullptr},
        {"&File", "E&xit", command_id::Exit, "Quit the application\nExit"},
        {"&Edit", "&Paste\tShift+Ins", Id(DocCommand::Paste), "paste link\npaste"},
        {"&Edit", "&Copy\tCtrl+Ins", Id(DocCommand::Copy), "Copy link to clipboard\nCopy"},
        {"&Edit", "&Del\tDel", Id(DocCommand::Delete), "delete file from list\ndelete"},
        {"&Edit", "Insert link\tIns", Id(DocCommand::InsertLink), "insert link\ninsert"},
        {"&Edit", nullptr, 0, nullptr},
        {"&Edit", "Sto&p\tCtrl+P", Id(DocCommand::Stop), "stop\nstop"},
        {"&Edit", "&Start\tCtrl+R", Id(DocCommand::Start), "start\nstart"},
        {"&Edit", nullptr, 0, nullptr},
        {"&Edit", "Stop all", Id(DocCommand::StopAll), "stop downloading\nstop downloading"},
        {"&Edit", "Start all", Id(DocCommand::StartAll), "start downloading\nstart downloading"},
        {"&View", "&Toolbar", command_id::ToggleToolBar, "Show or hide the toolbar\nToolbar"},
        {"&View", "&Status Bar", command_id::ToggleStatusBar,
         "Show or hide the status bar\nStatus Bar"},
        {"&View", nullptr, 0, nullptr},
        {"&View", "History", Id(DocCommand::History), "history window\nhistory"},
        {"&View", "Log", Id(DocCommand::Log), "log window\nlog window"},
        {"&View", nullptr, 0, nullptr},
        {"&View", "View source", Id(DocCommand::ViewSource), "View source\nView source"},
        {"&View", "Target directory", Id(DocCommand::TargetDirectory),
         "open target directory\ntarget directory"},
        {"&View", nullptr, 0, nullptr},
        {"&View", "Settings", Id(DocCommand::Settings), "settings\nsettings"},
        {"&Help", "Using Vireo", Id(DocCommand::Help), "online WWW help\nonline WWW help"},
        {"&Help", nullptr, 0, nullptr},
        {"&Help", "&About Vireo", command_id::About, "about Vireo\nabout"},
    };
    return table;
}

const std::vector<int>& ToolBarCommands() {
    static const std::vector<int> buttons{
        Id(DocCommand::NewList),
        0,
        Id(DocCommand::Paste),
        Id(DocCommand::InsertLink),
        0,
        Id(DocCommand::Stop),
        Id(DocCommand::Start),
        Id(DocCommand::Delete),
        0,
        Id(DocCommand::Log),
        Id(DocCommand::History),
        0,
        Id(DocCommand::Settings),
        command_id::About,
    };
    return buttons;
}

const std::vector<Accelerator>& Accelerators() {
    static const std::vector<Accelerator> keys{
        {QKeySequence(Qt::CTRL | Qt::Key_N), Id(DocCommand::NewList)},
        {QKeySequence(Qt::CTRL | Qt::Key_O), Id(DocCommand::OpenList)},
        {QKeySequence(Qt::CTRL | Qt::Key_S), Id(DocCommand::SaveList)},
        {QKeySequence(Qt::Key_Insert), Id(DocCommand::InsertLink)},
        {QKeySequence(Qt::CTRL | Qt::Key_P), Id(DocCommand::Stop)},
        {QKeySequence(Qt::CTRL | Qt::Key_R), Id(DocCommand::Start)},
        {QKeySequence(Qt::CTRL | Qt::Key_V), Id(DocCommand::Paste)},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), Id(DocCommand::Paste)},
        {QKeySequence(Qt::CTRL | Qt::Key_C), Id(DocCommand::Copy)},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), Id(DocCommand::Copy)},
        {QKeySequence(Qt::Key_Delete), Id(DocCommand::Delete)},
        {QKeySequence(Qt::Key_Return), Id(DocCommand::OpenFile)},
        {QKeySequence(Qt::Key_Enter), Id(DocCommand::OpenFile)},
    };
    return keys;
}

} // namespace vireo
