// PNG images of the program's resources (raw data), decoded with the Windows Imaging
// Component into 32-bit premultiplied DIB sections that AlphaBlend can draw.
#pragma once
#include <windows.h>

namespace sonimo {

// The image of RCDATA resource `id`, scaled to width x height when both are positive.
// Null when the resource is missing or cannot be decoded. The caller owns the bitmap.
HBITMAP loadPngResource(HINSTANCE instance, int id, int width = 0, int height = 0);

} // namespace sonimo
