// The command line's --render: a structure file drawn into a PNG with no
// window and no X display, through an EGL context, by the same scene drawing
// the window uses.
#ifndef TESK_RENDER_RENDER_FILE_H
#define TESK_RENDER_RENDER_FILE_H

#include <cstdio>
#include <string>

#include "model/model.h"

// The options of --render, as given: the renderer checks their values.
struct CRenderOptions {
    std::string size, view, background, bonds, labels, repeat;
    bool is_ortho = false, is_perspective = false;
};

// What to draw: the structure file `input` (format code `format`, Auto
// detects it) into the PNG `output`.
struct CFigureRequest {
    std::string input;
    int format = INPUT_FILE_TYPE_AUTO;
    std::string output;
    CRenderOptions options;
};

// The background a new window shows, and so a render without --background.
inline constexpr float WINDOW_BACKGROUND[4] = {0.4f, 0.6f, 0.7f, 1.0f};
// The image size without --size: a new window's.
inline constexpr int RENDER_WIDTH = 1280, RENDER_HEIGHT = 720;

// Draws the figure: 0 when the PNG was written, else 1 with the reason on `err`.
int RenderFigure(const CFigureRequest& request, std::FILE* err);

#endif
