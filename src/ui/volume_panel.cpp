#include "ui/volume_panel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>

#include <imgui.h>
#include <glm/gtc/matrix_transform.hpp>

#include "cdisplay.h"
#include "io/volume_convert.h"
#include "textio.h"

CVolumeView::~CVolumeView()
{
    if (job_.valid())
        job_.wait();
}

bool CVolumeView::Load(const std::string& path, io::VolumeKind kind, CDisplay& atom, std::string& message)
{
    try {
        auto v = std::make_shared<io::Volume>();
        io::Refusal why;
        if (!io::ReadVolumeFile(path, kind, *v, why)) {
            message = io::RefusalText(path, why);
            return false;
        }
        if (!io::LoadVolumeStructure(atom.data, *v, path)) {
            message = path + ": no atoms the model can show";
            return false;
        }
        atom.OnStructureLoaded();
        if (job_.valid())
            job_.wait();
        job_ = std::future<Result>();
        volume_ = v;
        grid = 0;
        range_ = core::ValueRange(v->grids[0].values.data(), v->Points());
        is_signed_ = core::IsSigned(range_);
        level = core::DefaultLevel(v->grids[0].values.data(), v->Points());
        built_grid_ = -1;
        meshes_.clear();
        layer_.Upload(meshes_);
        coarse_layer_.Upload(meshes_);
        Start();
        return true;
    } catch (const std::exception&) {
        message = path + ": not enough memory for the grid";
        return false;
    }
}

void CVolumeView::Clear()
{
    if (!volume_)
        return;
    if (job_.valid())
        job_.wait();
    job_ = std::future<Result>();
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
        job_ = std::async(std::launch::async, [v, at, which]() {
            Result r;
            r.level = at;
            r.grid = which;
            r.ok = io::BuildSurfaces(*v, std::size_t(which), at, r.meshes);
            std::size_t triangles = 0;
            for (const core::IsoMesh& m : r.meshes)
                triangles += m.Triangles();
            if (r.ok && triangles > COARSE_ABOVE)
                r.ok = io::BuildCoarseSurfaces(*v, std::size_t(which), at, r.coarse);
            return r;
        });
    } catch (const std::exception&) {
        status_ = "could not start building the surface";
    }
}

void CVolumeView::Step()
{
    if (!volume_)
        return;
    if (job_.valid()) {
        if (job_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        Result r = job_.get();
        built_level_ = r.level;
        built_grid_ = r.grid;
        if (r.ok) {
            meshes_ = std::move(r.meshes);
            layer_.Upload(meshes_);
            coarse_layer_.Upload(r.coarse);
            std::size_t triangles = 0;
            for (const core::IsoMesh& m : meshes_)
                triangles += m.Triangles();
            char text[96];
            std::snprintf(text, sizeof text, "%zu triangles", triangles);
            status_ = text;
        } else {
            status_ = "not enough memory for the surface at this level";
        }
    }
    if (level != built_level_ || grid != built_grid_)
        Start();
}

void CVolumeView::Window(bool* open)
{
    if (!volume_)
        return;
    ImGui::SetNextWindowPos(ImVec2(10.0f, 300.0f), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(320.0f, 220.0f), ImGuiCond_FirstUseEver);
    ImGui::Begin("Volume", open);
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

void CVolumeView::Draw(const CDisplay& atom, bool moving)
{
    if (!volume_ || !show_surface || !atom.is_visible)
        return;
    // the file's frame: its origin where the model draws the cell's
    const glm::mat4 M = glm::translate(atom.SceneModel(), glm::vec3(atom.data.v_cell_origin));
    std::vector<glm::vec3> shifts;
    const glm::ivec3 r = atom.data.is_periodic && volume_->is_periodic ? atom.v_scene_repeat : glm::ivec3(1);
    for (int k = 0; k < r.z; ++k)
        for (int j = 0; j < r.y; ++j)
            for (int i = 0; i < r.x; ++i)
                shifts.push_back(glm::vec3(volume_->cell * glm::dvec3(i, j, k)));
    const glm::vec4 c[2] = {glm::vec4(colours[0], opacity), glm::vec4(colours[1], opacity)};
    const CIsoLayer& drawn = moving && !coarse_layer_.Empty() ? coarse_layer_ : layer_;
    // while it turns, an opaque surface is drawn without its faces turned away
    drawn.Draw(atom.Projection, atom.track.View, M, shifts, c, moving && opacity >= 1.0f);
}

bool CVolumeView::SaveObj(const std::string& path) const
{
    try {
        return !meshes_.empty() && textio::WriteFileAtomically(path, io::ObjText(meshes_));
    } catch (const std::exception&) {
        return false;
    }
}
