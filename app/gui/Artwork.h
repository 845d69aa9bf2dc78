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
