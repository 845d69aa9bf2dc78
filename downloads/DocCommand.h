#pragma once
// The document's commands, with the ids the menus, the toolbar and the keys send. Each id
// is defined here only; when a command can be chosen and what it does is the table in
// Commands.cpp.

namespace vireo {

enum class DocCommand : int {
    Stop = 32775,
    Start = 32782,
    Delete = 32778,
    Paste = 57637,
    Copy = 57634,
    InsertLink = 32891,
    StopAll = 32835,
    StartAll = 32836,
    NewList = 57600,
    OpenList = 57601,
    SaveList = 57603,
    OpenFile = 40164, // Enter and double click
    ViewSource = 32846,
    DeleteFile = 32847,
    TargetDirectory = 32842,
    Log = 32839,
    History = 32849,
    Settings = 32779,
    Help = 32838,
};

} // namespace vireo
