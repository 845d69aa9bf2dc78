#pragma once
// The commands of the main window's menu and toolbar: ids, menu texts, status-bar prompts
// and tooltips. The ids of the window's own commands are defined here and nowhere else;
// those of the document's are DocCommand. The text after a tab in a menu text names the key
// that runs the entry; Accelerators() binds every such key (and a few more, such as Ctrl+V).

#include <QKeySequence>

#include <vector>

namespace vireo {

namespace command_id {
// Beside the document's commands (DocCommand), for the menus, the toolbar and the tray:
inline constexpr int Exit = 57665;
inline constexpr int About = 57664;
inline constexpr int ToggleToolBar = 59392;
inline constexpr int ToggleStatusBar = 59393;
inline constexpr int Activate = 32885;
} // namespace command_id

struct MenuCommand {
    const char* menu; // "&File", "&Edit", ...
    const char* text; // nullptr: a separator
    int id;
    const char* prompt; // "status-bar prompt\ntooltip"
};

const std::vector<MenuCommand>& MainMenuCommands();
// The toolbar's buttons in order; 0 is a separator.
const std::vector<int>& ToolBarCommands();

struct Accelerator {
    QKeySequence keys;
    int id;
};
const std::vector<Accelerator>& Accelerators();

} // namespace vireo
