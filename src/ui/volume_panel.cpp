#include "ui/volume_panel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <type_traits>

#include <imgui.h>
#include <glm/gtc/matrix_transform.hpp>

#include "render/display.h"
#include "model/volume_convert.h"
#include "io/textio.h"

namespace {

template <typename T>
bool IsReady(const std::future<T>& job)
{
    return job.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

}  // namespace

CVolumeView::~CVolumeView()
{
    CancelOpen();
    Retire(job_);
    for (auto& job : retired_jobs_)
        job.wait();
    for (auto& read : retired_reads_)
        read.wait();
}

template <typename T>
void CVolumeView::Retire(std::future<T>& job)
{
    if (!job.valid())
        return;
    try {
        if constexpr (std::is_same_v<T, Read>)
            retired_reads_.push_back(std::move(job));
        else
            retired_jobs_.push_back(std::move(job));
    } catch (const std::exception&) {
        job.wait();  // no room to keep it: wait once rather than lose track of it
    }
    job = std::future<T>();
}

CVolumeView::Result CVolumeView::Build(const io::Volume& v, int which, float at)
{
    Result r;
    r.level = at;
    r.grid = which;
    r.ok = io::BuildSurfaces(v, std::size_t(which), at, r.meshes);
    std::size_t triangles = 0;
    for (const core::IsoMesh& m : r.meshes)
        triangles += m.Triangles();
    const int step = core::TurningStep(triangles);
    if (r.ok && step > 1)
        r.ok = io::BuildCoarseSurfaces(v, std::size_t(which), at, step, r.coarse);
    return r;
}

void CVolumeView::Open(const std::string& path, io::VolumeKind kind)
{
    CancelOpen();
    try {
        auto cancelled = std::make_shared<std::atomic<bool>>(false);
        open_ = std::async(std::launch::async, [path, kind, cancelled]() {
            Read r;
            try {
                auto v = std::make_shared<io::Volume>();
                if (!io::ReadVolumeFile(path, kind, *v, r.refusal))
                    return r;
                const std::vector<float>& values = v->grids[0].values;
                r.range = core::ValueRange(values.data(), values.size());
                const float at = core::DefaultLevel(values.data(), values.size());
                // a read that was dropped meanwhile needs no surface
                if (!*cancelled)
                    r.first = Build(*v, 0, at);
                r.volume = std::move(v);
            } catch (const std::exception&) {
                r.volume.reset();
                r.refusal = {0, "not enough memory for the grid"};
            }
            return r;
        });
        open_path_ = path;
        open_cancelled_ = std::move(cancelled);
    } catch (const std::exception&) {
        open_ = std::future<Read>();
    }
}

void CVolumeView::CancelOpen()
{
    if (!open_.valid())
        return;
    if (open_cancelled_)
        *open_cancelled_ = true;
    Retire(open_);
}

CVolumeView::Opened CVolumeView::FinishOpen(CDisplay& display, std::string& message)
{
    if (!open_.valid() || !IsReady(open_))
        return Opened::Nothing;
    Read r = open_.get();
    if (!r.volume) {
        message = io::RefusalText(open_path_, r.refusal);
        return Opened::Refused;
    }
    if (!io::LoadVolumeStructure(display.data, *r.volume, open_path_)) {
        message = open_path_ + ": no atoms the model can show";
        return Opened::Refused;
    }
    display.OnStructureLoaded();
    Retire(job_);  // a surface of the grid shown before
    volume_ = std::move(r.volume);
    grid = 0;
    range_ = r.range;
    is_signed_ = core::IsSigned(range_);
    level = r.first.level;
    Show(r.first);
    return Opened::Shown;
}

void CVolumeView::Clear()
{
    CancelOpen();
    if (!volume_)
        return;
    Retire(job_);
    volume_.reset();
    meshes_.clear();
    layer_.Upload(meshes_);
    coarse_layer_.Upload(meshes_);
    built_grid_ = -1;
}

void CVolumeView::Start()
{
    std::shared_ptr<const io::Volume> v = volume_;
    const float at = level;
    const int which = grid;
    status_ = "building the surface...";
    try {
        job_ = std::async(std::launch::async, [v, at, which]() { return Build(*v, which, at); });
    } catch (const std::exception&) {
        status_ = "could not start building the surface";
    }
}

void CVolumeView::Show(Result& r)
{
    built_level_ = r.level;
    built_grid_ = r.grid;
    if (!r.ok) {
        status_ = "not enough memory for the surface at this level";
        return;
    }
    meshes_ = std::move(r.meshes);
    layer_.Upload(meshes_);
    coarse_layer_.Upload(r.coarse);
    std::size_t triangles = 0;
    for (const core::IsoMesh& m : meshes_)
        triangles += m.Triangles();
    char text[96];
    std::snprintf(text, sizeof text, "%zu triangles", triangles);
    status_ = text;
}

void CVolumeView::Step()
{
    // results no longer wanted are let go once their threads are done
    auto done = [](const auto& job) { return IsReady(job); };
    retired_jobs_.erase(std::remove_if(retired_jobs_.begin(), retired_jobs_.end(), done), retired_jobs_.end());
    retired_reads_.erase(std::remove_if(retired_reads_.begin(), retired_reads_.end(), done), retired_reads_.end());
    if (!volume_)
        return;
    if (job_.valid()) {
        if (!IsReady(job_))
            return;
        Result r = job_.get();
        Show(r);
    }
    if (level != built_level_ || grid != built_grid_)
        Start();
}

void CVolumeView::Window(bool* open)
{
    if (!volume_ && !open_.valid())
        return;
    // at the right, clear of the Settings, Choose File and Action windows
    const float right = ImGui::GetIO().DisplaySize.x - 330.0f;
    ImGui::SetNextWindowPos(ImVec2(std::max(right, 10.0f), 10.0f), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(320.0f, 220.0f), ImGuiCond_FirstUseEver);
    ImGui::Begin("Volume", open);
    if (open_.valid()) {
        const std::size_t slash = open_path_.find_last_of('/');
        ImGui::Text("Reading %s...", open_path_.c_str() + (slash == std::string::npos ? 0 : slash + 1));
    }
    if (!volume_) {
        ImGui::End();
        return;
    }
    const io::Volume& v = *volume_;
    ImGui::Text("Grid %d x %d x %d%s", v.size.x, v.size.y, v.size.z, v.is_periodic ? ", periodic" : "");
    ImGui::Text("Values %.4g to %.4g %s", double(range_.x), double(range_.y), v.unit);
    if (v.grids.size() > 1) {
        const char* current = v.grids[std::size_t(grid)].name.c_str();
        if (ImGui::BeginCombo("Data", current)) {
            for (std::size_t k = 0; k < v.grids.size(); ++k)
                if (ImGui::Selectable(v.grids[k].name.c_str(), int(k) == grid) && int(k) != grid) {
                    grid = int(k);
                    range_ = core::ValueRange(v.grids[k].values.data(), v.Points());
                    is_signed_ = core::IsSigned(range_);
                    level = core::DefaultLevel(v.grids[k].values.data(), v.Points());
                }
            ImGui::EndCombo();
        }
    }
    // a logarithmic slider over the magnitudes the data holds, and the typed value
    const float top = std::max(std::fabs(range_.x), std::fabs(range_.y));
    const float bottom = top > 0.0f ? top * 1e-5f : 1e-6f;
    float magnitude = std::fabs(level);
    if (ImGui::SliderFloat("Level", &magnitude, bottom, std::max(top, bottom * 2.0f), "%.4g",
                           ImGuiSliderFlags_Logarithmic | ImGuiSliderFlags_AlwaysClamp))
        level = std::copysign(magnitude, level);
    float typed = level;
    if (ImGui::InputFloat("Value", &typed, 0.0f, 0.0f, "%.6g", ImGuiInputTextFlags_EnterReturnsTrue) &&
        std::isfinite(typed))
        level = typed;
    if (is_signed_)
        ImGui::TextUnformatted("Signed data: surfaces at +level and -level");
    ImGui::Checkbox("Surface", &show_surface);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(100.0f);
    ImGui::SliderFloat("Opacity", &opacity, 0.1f, 1.0f, "%.2f");
    ImGui::ColorEdit3(is_signed_ ? "+ colour" : "Colour", &colours[0].x, ImGuiColorEditFlags_NoInputs);
    if (is_signed_) {
        ImGui::SameLine();
        ImGui::ColorEdit3("- colour", &colours[1].x, ImGuiColorEditFlags_NoInputs);
    }
    ImGui::TextUnformatted(job_.valid() ? "building the surface..." : status_.c_str());
    ImGui::End();
}

void CVolumeView::Draw(const CDisplay& display, bool moving)
{
    if (!volume_ || !show_surface || !display.is_visible)
        return;
    // the file's frame: its origin where the model draws the cell's
    const glm::mat4 M = glm::translate(display.SceneModel(), glm::vec3(display.data.CellOrigin()));
    std::vector<glm::vec3> shifts;
    const glm::ivec3 r = display.data.IsPeriodic() && volume_->is_periodic ? display.scene_repeat_cells : glm::ivec3(1);
    for (int k = 0; k < r.z; ++k)
        for (int j = 0; j < r.y; ++j)
            for (int i = 0; i < r.x; ++i)
                shifts.push_back(glm::vec3(volume_->cell * glm::dvec3(i, j, k)));
    const glm::vec4 c[2] = {glm::vec4(colours[0], opacity), glm::vec4(colours[1], opacity)};
    const CIsoLayer& drawn = moving && !coarse_layer_.Empty() ? coarse_layer_ : layer_;
    // while it turns, an opaque surface is drawn without its faces turned away
    drawn.Draw(display.Projection, display.track.View, M, shifts, c, moving && opacity >= 1.0f);
}

bool CVolumeView::SaveObj(const std::string& path) const
{
    try {
        return !meshes_.empty() && textio::WriteFileAtomically(path, io::ObjText(meshes_));
    } catch (const std::exception&) {
        return false;
    }
}
