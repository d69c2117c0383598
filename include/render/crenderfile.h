// The command line's --render: a structure file drawn into a PNG with no
// window and no X display, through an EGL context, by the same scene drawing
// the window uses.
#ifndef TESK_RENDER_CRENDERFILE_H
#define TESK_RENDER_CRENDERFILE_H

#include <cstdio>

#include "cformat.h"

// The background a new window shows, and so a render without --background.
inline constexpr float WINDOW_BACKGROUND[4] = {0.4f, 0.6f, 0.7f, 1.0f};
// The image size without --size: a new window's.
inline constexpr int RENDER_WIDTH = 1280, RENDER_HEIGHT = 720;

// Carries out `cmd` (a RENDER action): 0 when the PNG was written, else 1
// with the reason on `err`.
int RenderCommandLine(const CCommandLine& cmd, std::FILE* err);

#endif
