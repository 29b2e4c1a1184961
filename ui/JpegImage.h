#pragma once

#include <QByteArray>
#include <QImage>

namespace ui {

// Decodes a baseline or progressive JPEG (grey, YCbCr, RGB, CMYK or Adobe inverted CMYK) into an
// RGB32 image. A corrupt, truncated or oversized stream gives a null image.
QImage DecodeJpeg(const QByteArray& data);

// Largest picture DecodeJpeg accepts, in pixels; larger ones are refused before any memory is
// taken for them.
inline constexpr qint64 JpegMaxPixels = 64LL * 1024 * 1024;

} // namespace ui
