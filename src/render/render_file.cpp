// --render: the options checked, an EGL context, the file read as --convert
// reads it, the scene set up as a new window would show it, then drawn
// offscreen and written as PNG.
#include "render/render_file.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "render/display.h"
#include "render/egl_context.h"
#include "render/offscreen.h"
#include "render/view.h"
#include "io/textio.h"
#include "model/convert.h"

namespace {

// What the options ask for, once checked.
struct CFigure {
    int width = RENDER_WIDTH, height = RENDER_HEIGHT;
    bool has_view = false;
    CViewDirection view;
    bool is_perspective = false;
    glm::vec4 background{WINDOW_BACKGROUND[0], WINDOW_BACKGROUND[1], WINDOW_BACKGROUND[2], WINDOW_BACKGROUND[3]};
    bool is_bonds = false, is_labels = false;
    glm::ivec3 repeat{1};
};

// `count` whole numbers from `least` to `most` separated by 'x'.
bool ParseCounts(const std::string& text, int count, long least, long most, int* out)
{
    const char* p = text.c_str();
    for (int k = 0; k < count; ++k) {
        if (*p < '0' || *p > '9')
            return false;
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(p, &end, 10);
        if (errno != 0 || v < least || v > most)
            return false;
        out[k] = static_cast<int>(v);
        p = end;
        if (k + 1 < count && *p++ != 'x')
            return false;
    }
    return *p == '\0';
}

bool ParseSwitch(const std::string& name, const std::string& text, bool& out, std::string& why)
{
    if (text.empty())
        return true;
    if (text == "on" || text == "off") {
        out = text == "on";
        return true;
    }
    why = name + " is on or off, not '" + text + "'";
    return false;
}

bool ParseFigure(const CRenderOptions& o, CFigure& f, std::string& why)
{
    if (!o.size.empty()) {
        int wh[2] = {0, 0};
        if (!ParseCounts(o.size, 2, 0, 1L << 30, wh)) {
            why = "--size is WIDTHxHEIGHT in pixels, not '" + o.size + "'";
            return false;
        }
        why = CheckImageSize(wh[0], wh[1]);
        if (!why.empty())
            return false;
        f.width = wh[0];
        f.height = wh[1];
    }
    if (!o.view.empty()) {
        if (!ParseViewDirection(o.view, f.view, why))
            return false;
        f.has_view = true;
    }
    f.is_perspective = o.is_perspective;
    if (o.background == "transparent") {
        f.background.a = 0.0f;
    } else if (!o.background.empty()) {
        const std::string& b = o.background;
        const bool hex =
            b.size() == 7 && b[0] == '#' && b.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
        if (!hex) {
            why = "--background is transparent or #rrggbb, not '" + b + "'";
            return false;
        }
        for (int k = 0; k < 3; ++k)
            f.background[k] = float(std::strtol(b.substr(1 + 2 * k, 2).c_str(), nullptr, 16)) / 255.0f;
        f.background.a = 1.0f;
    }
    if (!ParseSwitch("--bonds", o.bonds, f.is_bonds, why) || !ParseSwitch("--labels", o.labels, f.is_labels, why))
        return false;
    if (!o.repeat.empty() && !ParseCounts(o.repeat, 3, 1, 10, &f.repeat.x)) {
        why = "--repeat is NxMxK with each from 1 to 10, not '" + o.repeat + "'";
        return false;
    }
    return true;
}

// Draws the figure; false with `why`.
bool Render(const CFigureRequest& cmd, const CFigure& f, std::string& why)
{
    CEglContext context;
    if (!context.Create(why)) {
        why = "cannot render without a window: " + why;
        return false;
    }
    // the model holds a few fixed-size records: keep it off the stack
    auto display = std::make_unique<CDisplay>();
    bool ok = ReadInputFile(cmd.input, cmd.format, display->data, why) != INPUT_FILE_TYPE_UNKNOWN;
    if (ok) {
        display->OnStructureLoaded();
        // what a new window's settings would show, changed as asked
        display->SetClearColor(f.background.r, f.background.g, f.background.b, f.background.a);
        display->is_show_bond = f.is_bonds;
        display->SetAtomScale(f.is_bonds);
        display->is_show_symbol = display->is_show_label = f.is_labels;
        display->repeat_cells = f.repeat;
        display->is_perspective = f.is_perspective;
        if (f.has_view)
            display->SetView(f.view);
        CImage image;
        std::string png;
        ok = RenderImage(*display, f.width, f.height, f.background, image, why);
        if (ok && !(EncodePng(image, f.background.a < 1.0f, png) && textio::WriteFileAtomically(cmd.output, png))) {
            why = "Could not save " + cmd.output;
            ok = false;
        }
    }
    display->Delete();
    return ok;
}

}  // namespace

int RenderFigure(const CFigureRequest& cmd, std::FILE* err)
{
    std::string why;
    CFigure figure;
    bool ok = ParseFigure(cmd.options, figure, why);
    if (ok) {
        try {
            ok = Render(cmd, figure, why);
        } catch (const std::exception&) {
            // out of memory, in the end, whatever the library called it
            why = "not enough memory to render " + cmd.input;
            ok = false;
        }
    }
    if (ok)
        return 0;
    std::fprintf(err, "tesk: %s\n", why.c_str());
    return 1;
}
