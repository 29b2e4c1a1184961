#pragma once

#include <QIcon>
#include <QPixmap>

namespace ui {

// The program's built-in pictures. Call after the application object exists.

// The header picture at the top-right corner (Image1): 100 x 36.
QPixmap HeaderLogo();
// The header picture at the left edge (Image2): 32 x 32.
QPixmap HeaderIcon();

// Menu and button pictures (ImageList1), 16 x 16.
enum ImageListIndex : int {
    ImageCaption = 0,
    ImageSaveFrame = 1,
    ImageEmit = 2,
    ImageInvert = 3,
    ImageLoadFrame = 4,
    ImagePictureExport = 5,
};
inline constexpr int ImageListCount = 6;
// A null icon for an index outside 0..5.
QIcon ImageListIcon(int index);

// The window and desktop icon.
QIcon ApplicationIcon();

} // namespace ui
