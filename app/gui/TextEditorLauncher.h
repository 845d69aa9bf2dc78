#pragma once
// Opens a file in the user's text editor: the desktop's default application for plain
// text, else $VISUAL or $EDITOR. The file's own type does not matter, so a saved web page
// shows as source.

#include <QString>
#include <QStringList>

namespace vireo {

// The program and arguments an Exec line of a desktop entry gives for one file; empty
// when the line names no program.
QStringList ExecLineCommand(const QString& exec, const QString& path);
// Starts the editor detached; false when none was found or it did not start.
bool LaunchTextEditor(const QString& path);

} // namespace vireo
