#pragma once
// "Open containing folder": the file manager shows the folder with the file selected
// (org.freedesktop.FileManager1 ShowItems on the session bus). Where no file manager
// answers there, the folder itself is opened with the desktop's handler.

#include <QString>

#include <functional>

namespace vireo {

// fallback receives the folder when the file manager did not take the request; by
// default the desktop's handler opens it. The answer comes later: the call returns at once.
void ShowInFolder(const QString& path, std::function<void(const QString&)> fallback = {});

} // namespace vireo
