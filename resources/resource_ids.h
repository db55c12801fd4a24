#pragma once
// Resource identifiers shared by the resource scripts and the programs. Plain macros so that
// windres and the C++ compilers read the same file.

// Update.exe
#define IDI_UPDATE_APP 1    // application icon: six images (48, 32, 16 px at 8 and 32 bpp)
#define IDI_UPDATE_FORM2 2  // install window's icon: nine images (48, 32, 16 px at 4, 8, 32 bpp)
// Skin pictures, palettes and runs (platform/picture_runs.h) as RCDATA, at 100 %; the renderings
// at 125, 150 and 200 % follow at +10, +20 and +30 (forms::kPictureScaleStep).
#define IDB_SKIN_BACKGROUND 101     // 340 x 300, expanded to 32 bpp
#define IDB_SKIN_CLOSE_NORMAL 102   // 24 x 20, expanded to 24 bpp
#define IDB_SKIN_CLOSE_PRESSED 103  // 24 x 20, expanded to 24 bpp
#define IDB_SKIN_CLOSE_HOVER 104    // 24 x 20, expanded to 24 bpp
#define IDB_SKIN_TITLE 105          // 16 x 16, 128 colours, one of them transparent

// Brevik.exe
#define IDI_BREVIK_APP 1  // six images (48, 32, 16 px at 8 and 32 bpp)
