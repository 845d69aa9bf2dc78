#pragma once
// Every picture of the window front end, drawn here with vector paths so that it stays
// sharp at any scale: the 16x16 row images, the toolbar images, the tray frames and the
// application icon. Sizes are in logical pixels; dpr is the device pixel ratio to draw for.

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace vireo::art {

inline constexpr int kStateImageCount = 31;
inline constexpr int kImageSize = 16;

// Icon numbers the frame and the dialogs ask for.
inline constexpr int kTrayStill = 185;
inline constexpr int kTrayFirstFrame = 190;
inline constexpr int kTrayLastFrame = 193;
inline constexpr int kSettingsIcon = 200;
// The insert-link dialog: a page whose links are fetched, and a single file.
inline constexpr int kLinkPageIcon = 195;
inline constexpr int kSingleLinkIcon = 196;

// Commands of the log and history windows that have toolbar images.
inline constexpr int kLogSave = 32840;
inline constexpr int kLogAbout = 32843;
inline constexpr int kLogClear = 32859; // also the history window's Clear
inline constexpr int kLogSend = 32861;
inline constexpr int kHistorySave = 32857;
inline constexpr int kHistoryAbout = 32860;

// Row images of the log window: 0 plain line, 1 error, 2 notice, 3 sent, 4 received,
// 5 data phase.
inline constexpr int kLogImageCount = 6;
QPixmap LogKindImage(int index, qreal dpr);
// Row images of the history window (the rows use 1, a downloaded file).
QPixmap HistoryImage(int index, qreal dpr);

// Row image index (0..30) of the download list, on a transparent background.
QPixmap StateImage(int index, qreal dpr);
// The colour image of a toolbar button for a command id; a null image for unknown ids.
QImage ToolbarImage(int commandId, qreal dpr);
// The icons by number: the still tray icon, the busy frames, the settings icon, the two
// icons of the insert-link dialog. A null icon for numbers that have none.
QIcon NumberedIcon(int number);
// The insert-link dialog's icons, 32x32 in logical pixels.
QPixmap LinkIcon(int number, qreal dpr);
// The application icon, in every size a desktop asks for.
QIcon AppIcon();
// One size of the application icon, for installing it.
QImage AppIconImage(int size);

} // namespace vireo::art
