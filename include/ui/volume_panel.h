// The shell's volumetric data: the grid shown over the atoms, its surfaces,
// the worker threads that read a file and build a surface for a new level
// while the window goes on drawing what it showed, and the Volume window
// that sets the level.
#ifndef TESK_UI_VOLUME_PANEL_H
#define TESK_UI_VOLUME_PANEL_H

#include <atomic>
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
    ~CVolumeView();  // waits for the reads and surfaces still being built
    CVolumeView(const CVolumeView&) = delete;
    CVolumeView& operator=(const CVolumeView&) = delete;

    // Starts reading the file of `kind`, and its first surface at the
    // default level, off the frame loop; what is shown stays meanwhile. A
    // read still running is dropped: the last file asked for wins.
    void Open(const std::string& path, io::VolumeKind kind);
    // Drops a read still running (another file was opened).
    void CancelOpen();
    bool Opening() const { return open_.valid(); }
    enum class Opened { Nothing, Shown, Refused };
    // Once per pass: when the read is done, shows its structure in the
    // display and its surface (Shown), or gives the reason it could not
    // (Refused, what was shown stays); Nothing while it runs or without one.
    Opened FinishOpen(CDisplay& display, std::string& message);
    const std::string& OpeningPath() const { return open_path_; }
    // Another structure is shown: the volume goes.
    void Clear();
    bool Active() const { return volume_ != nullptr; }
    // A surface or a file is being built or read: the loop needs passes.
    bool Busy() const { return job_.valid() || open_.valid(); }
    std::size_t Triangles() const { return layer_.Triangles(); }

    // Once per pass: a finished surface goes to the GPU, and the next one is
    // started when the level or the grid changed meanwhile.
    void Step();
    // The Volume window.
    void Window(bool* open);
    // Draws the surfaces in the display's frame, repeated with its cells;
    // while the view turns (`moving`), a large surface is drawn from a
    // coarser grid, to core::TURNING_TRIANGLES, and an opaque one without the
    // faces turned away.
    void Draw(const CDisplay& display, bool moving = false);
    // The surfaces shown, as OBJ.
    bool SaveObj(const std::string& path) const;

    float level = 0.0f;  // what the user asks for
    int grid = 0;        // which grid of the file
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
    // What a read hands over: the grid, its range and its first surface.
    struct Read {
        std::shared_ptr<const io::Volume> volume;
        io::Refusal refusal;
        glm::vec2 range{0.0f};
        Result first;
    };
    static Result Build(const io::Volume& v, int which, float at);
    void Start();
    void Show(Result& r);
    // A job whose result is no longer wanted: kept until it ends, so that
    // dropping it never waits on the frame loop.
    template <typename T>
    void Retire(std::future<T>& job);

    std::shared_ptr<const io::Volume> volume_;
    std::future<Result> job_;
    std::future<Read> open_;
    std::string open_path_;
    std::shared_ptr<std::atomic<bool>> open_cancelled_;
    std::vector<std::future<Result>> retired_jobs_;
    std::vector<std::future<Read>> retired_reads_;
    float built_level_ = 0.0f;  // of the surfaces shown
    int built_grid_ = -1;
    bool is_signed_ = false;
    glm::vec2 range_{0.0f};
    std::vector<core::IsoMesh> meshes_;
    CIsoLayer layer_, coarse_layer_;
    std::string status_;
};

#endif
