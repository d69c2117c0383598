// The shell's volumetric data: the grid shown over the atoms, its surfaces,
// the worker thread that builds a surface for a new level while the window
// goes on drawing the old one, and the Volume window that sets the level.
#ifndef TESK_UI_VOLUME_PANEL_H
#define TESK_UI_VOLUME_PANEL_H

#include <future>
#include <memory>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "core/isosurface.h"
#include "io/volume.h"
#include "render/isosurface_layer.h"

class CDisplay;

class CVolumeView {
public:
    CVolumeView() = default;
    ~CVolumeView();  // waits for a surface still being built
    CVolumeView(const CVolumeView&) = delete;
    CVolumeView& operator=(const CVolumeView&) = delete;

    // Reads the file of `kind`, shows its structure in the display and starts its
    // first surface at the default level. False, with the reason, when it
    // cannot be read; what was shown stays.
    bool Load(const std::string& path, io::VolumeKind kind, CDisplay& atom, std::string& message);
    // Another structure is shown: the volume goes.
    void Clear();
    bool Active() const { return volume_ != nullptr; }
    bool Busy() const { return job_.valid(); }
    std::size_t Triangles() const { return layer_.Triangles(); }
    // Above this many triangles a coarse copy is drawn while the view turns.
    static constexpr std::size_t COARSE_ABOVE = 250000;

    // Once per pass: a finished surface goes to the GPU, and the next one is
    // started when the level or the grid changed meanwhile.
    void Step();
    // The Volume window.
    void Window(bool* open);
    // Draws the surfaces in the display's frame, repeated with its cells;
    // while the view turns (`moving`), a large surface is drawn from every
    // second grid point, a quarter of its triangles, and an opaque one
    // without the faces turned away.
    void Draw(const CDisplay& atom, bool moving = false);
    // The surfaces shown, as OBJ.
    bool SaveObj(const std::string& path) const;

    float level = 0.0f;    // what the user asks for
    int grid = 0;          // which grid of the file
    float opacity = 1.0f;
    bool show_surface = true;
    glm::vec3 colours[2] = {{0.95f, 0.8f, 0.2f}, {0.25f, 0.5f, 1.0f}};

private:
    struct Result {
        float level = 0.0f;
        int grid = 0;
        bool ok = false;
        std::vector<core::IsoMesh> meshes, coarse;
    };
    void Start();

    std::shared_ptr<const io::Volume> volume_;
    std::future<Result> job_;
    float built_level_ = 0.0f;  // of the surfaces shown
    int built_grid_ = -1;
    bool is_signed_ = false;
    glm::vec2 range_{0.0f};
    std::vector<core::IsoMesh> meshes_;
    CIsoLayer layer_, coarse_layer_;
    std::string status_;
};

#endif
