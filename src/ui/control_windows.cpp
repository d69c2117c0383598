// The control windows of the shell: Settings, Choose File (with the save
// dialogs and the atom types table) and Action (measures, edits, frames).
#include "ui/shell.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <glad/gl.h>

#include <imgui_internal.h>

#include "render/display.h"
#include "ui/command_line.h"
#include "core/elements.h"
#include "model/volume_convert.h"
#include "ui/view_panel.h"
#include "ui/file_dialog.h"
#include "ui/file_opening.h"
#include "ui/volume_panel.h"

namespace {

// The codes and labels of the formats a list offers: every format (and
// Auto) to read, the writable ones to save.
struct FormatList {
    std::vector<int> codes;
    std::vector<const char*> labels;
    std::vector<const char*> extensions;  // the first of each format's
};

const FormatList& ListOfFormats(bool writable)
{
    static const FormatList lists[2] = {[] {
                                            FormatList l;
                                            for (const io::FormatEntry& e : io::Formats()) {
                                                l.codes.push_back(int(e.format));
                                                l.labels.push_back(e.label);
                                            }
                                            l.codes.push_back(INPUT_FILE_TYPE_AUTO);
                                            l.labels.push_back("Auto");
                                            return l;
                                        }(),
                                        [] {
                                            FormatList l;
                                            static std::vector<std::string> firsts;
                                            for (const io::FormatEntry& e : io::Formats())
                                                if (e.is_writable) {
                                                    const std::string all = e.extensions;
                                                    firsts.push_back(all.substr(0, all.find(' ')));
                                                }
                                            std::size_t k = 0;
                                            for (const io::FormatEntry& e : io::Formats())
                                                if (e.is_writable) {
                                                    l.codes.push_back(int(e.format));
                                                    l.labels.push_back(e.label);
                                                    l.extensions.push_back(firsts[k++].c_str());
                                                }
                                            return l;
                                        }()};
    return lists[writable ? 1 : 0];
}

}  // namespace

namespace {

constexpr float kItemWidth = 170.0f;  // sliders, fields and lists of the control windows
constexpr float kTextWidth = 280.0f;  // where their text wraps

// A control window at its first-use place, sized to what it holds (nothing
// hides behind a scrollbar) but never past the screen. Items and text get
// fixed widths: widths that follow the window would chase its size.
void BeginControlWindow(const char* name, bool* open, float x)
{
    const ImVec2 screen = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(x, 10.0f), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSizeConstraints(ImVec2(0.0f, 0.0f),
                                        ImVec2(std::max(screen.x - 20.0f, 100.0f), std::max(screen.y - 20.0f, 100.0f)));
    ImGui::Begin(name, open, ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::PushItemWidth(kItemWidth);
    ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + kTextWidth);
}

void EndControlWindow()
{
    ImGui::PopTextWrapPos();
    ImGui::PopItemWidth();
    ImGui::End();
}

constexpr std::size_t kIndexSlice = std::size_t(16) << 20;  // bytes of the file per pass, some ms

// The frame slider, play/pause, speed and loop of a file of several frames.
void FrameControls(CShellState& s, CDisplay& display)
{
    if (!display.is_visible)
        return;
    const std::size_t count = display.data.GetIndexedFrames();
    const bool whole = display.data.IsFrameIndexWhole();
    if (count == 0 || (count < 2 && whole))
        return;
    ImGui::Separator();
    int shown = static_cast<int>(display.data.GetShownFrame()) + 1;
    const int last = static_cast<int>(std::min<std::size_t>(count, 0x7fffffff));
    char format[64];
    std::snprintf(format, sizeof format, whole ? "%%d / %d" : "%%d / %d...", last);
    if (ImGui::SliderInt("Frame", &shown, 1, std::max(last, 1), format, ImGuiSliderFlags_AlwaysClamp) && shown >= 1 &&
        static_cast<std::size_t>(shown - 1) != display.data.GetShownFrame()) {
        ShowFrame(s, display, static_cast<std::size_t>(shown - 1));
    }
    if (ImGui::Button(s.is_playing ? "Pause" : "Play")) {
        s.is_playing = !s.is_playing;
        s.play_clock = 0.0f;
        // played again where playback ended: from the first frame
        if (s.is_playing && !s.is_loop && whole && display.data.GetShownFrame() + 1 >= count)
            ShowFrame(s, display, 0);
    }
    ImGui::SameLine();
    ImGui::Checkbox("Loop", &s.is_loop);
    ImGui::SliderFloat("Speed", &s.frame_rate, 1.0f, 60.0f, "%.0f frames/s", ImGuiSliderFlags_AlwaysClamp);
    if (!display.data.FrameMessage().empty())
        ImGui::TextWrapped("%s", display.data.FrameMessage().c_str());
}

}  // namespace

void SettingsWindow(CShellState& s, CDisplay& display)
{
    if (!s.is_font_set) {
        s.font = display.font_scale;
        s.is_font_set = true;
    }
    BeginControlWindow("Settings (ctrl+c)", &s.show_config_window, 10.0f);
    ImGui::Text("%s", s.user_version);
    ImGui::SliderFloat("radius", &display.atom_scale, 0.0f, 2.0f, "%.3f");
    if (ImGui::SliderFloat("zoom", &s.zoom, 0.5f, 10.0f, "%.3f"))
        display.SetZoom(s.zoom);
    if (ImGui::SliderFloat("font", &s.font, 0.001f, 0.01f, "%.3f"))
        display.SetFont(s.font);
    if (ImGui::ColorEdit3("Background", s.clear_color))
        display.SetClearColor(s.clear_color[0], s.clear_color[1], s.clear_color[2], s.clear_color[3]);
    ImGui::Checkbox("Cell", &display.is_show_box);
    ImGui::SameLine();
    if (ImGui::Checkbox("Bonds", &display.is_show_bond))
        display.SetAtomScale(display.is_show_bond);
    ImGui::SameLine();
    ImGui::Checkbox("Symbol", &display.is_show_symbol);
    ImGui::SameLine();
    ImGui::Checkbox("Index", &display.is_show_index);
    display.is_show_label = display.is_show_index || display.is_show_symbol;
    ImGui::Checkbox("Boundary atoms", &display.is_show_boundary);
    if (ImGui::InputInt3("Repeat", &display.repeat_cells.x))
        display.repeat_cells = glm::clamp(display.repeat_cells, glm::ivec3(1), glm::ivec3(10));
    // the file's coordinates moved so that the structure's centre is the origin
    if (ImGui::Button("Centre on (0,0,0)") && display.is_visible)
        display.CenterCoordinates();
    ViewControls(s, display);
    if (ImGui::Button("Close"))
        s.show_config_window = false;
    EndControlWindow();
}

namespace {

// The name of the file shown, with its extension replaced by `ext`, as the
// name a save starts from; `fallback` before any file was opened.
std::string StartName(const CShellState& s, const char* ext, const char* fallback)
{
    std::string name(s.filePath);
    name = name.substr(name.find_last_of('/') + 1);
    if (name.empty())
        return fallback;
    if (ext) {
        const std::size_t dot = name.find_last_of('.');
        if (dot != std::string::npos && dot > 0)
            name.erase(dot);
        name += ext;
    }
    return name;
}

void SaveAsDialog(CShellState& s, CDisplay& display, bool open)
{
    if (!s.save_dlg)
        s.save_dlg = std::make_unique<FileChooser::Dialog>();
    std::string start;
    if (open) {
        // offered first: the format it was read in, where that has a writer
        const FormatList& list = ListOfFormats(true);
        s.save_format = 0;
        for (std::size_t k = 0; k < list.codes.size(); ++k)
            if (list.codes[k] == int(display.data.FileFormat()))
                s.save_format = int(k);
        start = StartName(s, nullptr, "structure.xyz");
    }
    // saving edits before another file opens: over the file they belong to,
    // wherever the user went to find the other one
    const char* folder = s.is_saving_before_open ? s.dirPath : DialogFolder(s);
    const FormatList& list = ListOfFormats(true);
    // while volumetric data is shown, its surfaces come last, as OBJ
    std::vector<const char*> labels = list.labels, extensions = list.extensions;
    const int SAVE_SURFACE = int(list.codes.size());
    if (s.volume->Active()) {
        labels.push_back("OBJ surface");
        extensions.push_back(".obj");
    }
    const char* chosen = s.save_dlg->saveFileDialog(open, folder, start.c_str(), labels.data(), extensions.data(),
                                                    int(labels.size()), &s.save_format);
    NoteDialogFolder(s, *s.save_dlg);
    const bool tried = chosen != nullptr && chosen[0] != '\0';
    if (tried && s.save_format == SAVE_SURFACE) {
        const std::string path(chosen);
        ReportSave(s, s.volume->SaveObj(path), path, std::string());
    } else if (tried) {
        const std::string path(chosen);
        const int code = list.codes[std::size_t(std::clamp(s.save_format, 0, int(list.codes.size()) - 1))];
        const bool saved = display.is_visible && display.data.SaveFileAs(path, code);
        ReportSave(s, saved, path, display.data.Notes());
        if (saved)
            display.is_edited = false;
    }
    if (s.is_saving_before_open && (tried || s.save_dlg->hasUserJustCancelledDialog())) {
        // saved, or the save failed or was given up: the file waiting is
        // opened or dropped
        s.is_saving_before_open = false;
        if (!display.is_edited)
            OpenPending(s, display);
        s.pending_path.clear();
    }
}

void SaveImageDialog(CShellState& s, bool open)
{
    if (!s.image_dlg)
        s.image_dlg = std::make_unique<FileChooser::Dialog>();
    static const char* const label[1] = {"PNG"};
    static const char* const extension[1] = {".png"};
    int format = 0;
    const std::string start = open ? StartName(s, ".png", "tesk.png") : std::string();
    const char* chosen =
        s.image_dlg->saveFileDialog(open, DialogFolder(s), start.c_str(), label, extension, 1, &format);
    NoteDialogFolder(s, *s.image_dlg);
    // written after this pass's scene is drawn, before the GUI covers it
    if (chosen != nullptr && chosen[0] != '\0')
        s.image_request = chosen;
}

}  // namespace

namespace {

// LAMMPS atom types and their elements: a symbol typed for a type reads the
// file again with it (as --types does on the command line).
void TypesTable(CShellState& s, CDisplay& display)
{
    const std::vector<int>& types = display.data.TypeNumbers();
    if (!display.is_visible || types.empty())
        return;
    if (!ImGui::BeginTable("Types", 2, ImGuiTableFlags_Borders | ImGuiTableFlags_SizingFixedFit))
        return;
    ImGui::TableSetupColumn("Type");
    ImGui::TableSetupColumn("Element");
    ImGui::TableHeadersRow();
    const auto& chosen = display.data.read_options.type_elements;
    for (int t : types) {
        ImGui::TableNextRow();
        ImGui::TableSetColumnIndex(0);
        ImGui::Text("%d", t);
        ImGui::TableSetColumnIndex(1);
        const auto it = chosen.find(t);
        char text[8];
        std::snprintf(text, sizeof text, "%s", it != chosen.end() ? element_symbol[it->second].c_str() : "");
        ImGui::PushID(t);
        ImGui::SetNextItemWidth(60.0f);
        if (ImGui::InputTextWithHint("##element", "auto", text, sizeof text, ImGuiInputTextFlags_EnterReturnsTrue)) {
            unsigned element = 0;
            auto& map = display.data.read_options.type_elements;
            if (text[0] == '\0')
                map.erase(t);
            else if (IsElementSymbol(text, std::strlen(text), element))
                map[t] = element;
            LoadStructure(s, display, s.dirPath, s.filePath, false);
        }
        ImGui::PopID();
    }
    ImGui::EndTable();
}

}  // namespace

void ChooseFileWindow(CShellState& s, CDisplay& display)
{
    if (!s.dlg)
        s.dlg = std::make_unique<FileChooser::Dialog>();
    if (s.item_current == nullptr)
        s.item_current = io::FormatLabel(io::Format(s.input_format));

    BeginControlWindow("Choose File (ctrl+f)", &s.show_file_chooser, 320.0f);

    if (ImGui::BeginCombo("Input Format", s.item_current)) {
        const FormatList& list = ListOfFormats(false);
        for (std::size_t n = 0; n < list.codes.size(); ++n) {
            const bool is_selected = std::strcmp(s.item_current, list.labels[n]) == 0;
            if (ImGui::Selectable(list.labels[n], is_selected))
                s.input_format = list.codes[n];
            s.item_current = io::FormatLabel(io::Format(s.input_format));
            if (is_selected)
                ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }

    const bool open = ImGui::Button("Open");
    const char* chosen = s.dlg->chooseFileDialog(open, DialogFolder(s), nullptr, nullptr, ImVec2(-1.0f, -1.0f),
                                                 ImVec2(-1.0f, -1.0f), 0.875f);
    NoteDialogFolder(s, *s.dlg);
    if (chosen != nullptr && chosen[0] != '\0') {
        const char* path = s.dlg->getChosenPath();
        const char* dir = s.dlg->getLastDirectory();
        if (path == nullptr || dir == nullptr || std::strlen(path) >= PATH_SIZE || std::strlen(dir) >= PATH_SIZE) {
            s.load_message = "Could not read the chosen file: its path is longer than 16383 bytes";
            std::printf("%s\n", s.load_message.c_str());
            std::fflush(stdout);
        } else {
            OpenFile(s, display, dir, path, -1);
        }
    }

    ImGui::SameLine();
    if (ImGui::Button("Reload") && display.is_visible)
        OpenFile(s, display, s.dirPath, s.filePath, -1);
    ImGui::SameLine();
    // the file shown, which Reload reads; a failed open leaves it
    ImGui::Text("File: %s", s.filePath);
    if (!s.load_message.empty())
        ImGui::TextWrapped("%s", s.load_message.c_str());
    TypesTable(s, display);
    ImGui::BeginDisabled(!display.is_visible);
    const bool save_as = ImGui::Button("Save As") || s.is_save_asked;
    s.is_saving_before_open = s.is_saving_before_open || s.is_save_asked;
    s.is_save_asked = false;
    ImGui::EndDisabled();
    ImGui::SameLine();
    const bool save_image = ImGui::Button("Save Image");
    SaveAsDialog(s, display, save_as);
    SaveImageDialog(s, ImageOptionsPopup(s, save_image));
    ImGui::SameLine();
    if (ImGui::Button("Close"))
        s.show_file_chooser = false;
    EndControlWindow();
}

std::string MeasurementText(const CDisplay& display)
{
    const std::vector<unsigned>& a = display.selection.Atoms();
    for (unsigned u : a)
        if (u >= display.GetNumberOfAtoms())
            return std::string();
    char text[128] = "";
    if (a.size() == 2)
        std::snprintf(text, sizeof text, "Distance %u-%u: %.4f \xc3\x85", a[0], a[1],
                      display.data.Distance(a[0], a[1]));
    else if (a.size() == 3)
        std::snprintf(text, sizeof text, "Angle %u-%u-%u: %.4f\xc2\xb0", a[0], a[1], a[2],
                      display.data.Angle(a[0], a[1], a[2]));
    else if (a.size() == 4)
        std::snprintf(text, sizeof text, "Dihedral %u-%u-%u-%u: %.4f\xc2\xb0", a[0], a[1], a[2], a[3],
                      display.data.Dihedral(a[0], a[1], a[2], a[3]));
    return text;
}

void ActionWindow(CShellState& s, CDisplay& display)
{
    BeginControlWindow("Action (ctrl+a)", &s.show_info_window, 630.0f);
    ImGui::Text("%s", s.user_version);
    ImGui::Text("Total Atoms: %u", display.GetNumberOfAtoms());
    // beside the count, so the first-use window still shows the element row
    ImGui::SameLine();
    ImGui::BeginDisabled(!display.data.History().CanUndo());
    if (ImGui::Button("Undo"))
        display.Undo();
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::BeginDisabled(!display.data.History().CanRedo());
    if (ImGui::Button("Redo"))
        display.Redo();
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::BeginDisabled(!display.data.IsPeriodic());
    if (ImGui::Button("Wrap")) {
        display.Wrap();
        if (!display.data.Notes().empty())
            s.load_message = display.data.Notes();  // atoms too far out to move
    }
    ImGui::EndDisabled();
    unsigned element = 0;
    if (display.SelectedElement(element)) {
        const std::string symbol = element_symbol[element];
        ImGui::Text("Selected atom : No. %u, Symbol [%s], Z [%u]", display.selection.Last(), symbol.c_str(),
                    element + 1);
        // locked until "Edit" is chosen in the pie menu; drawn at half alpha
        ImGui::PushStyleVar(ImGuiStyleVar_DisabledAlpha, 0.5f);
        ImGui::BeginDisabled(s.is_atom_lock);
        if (ImGui::Button("Symbol:"))
            ImGui::OpenPopup("select");
        ImGui::SameLine();
        ImGui::TextUnformatted(symbol.c_str());
        if (ImGui::BeginPopup("select")) {
            ImGui::Text("Select atom");
            ImGui::Separator();
            for (unsigned i = 0; i < periodic_table_atoms; ++i) {
                ImGui::SetCursorPos(ImVec2(ptable_position[i].x, ptable_position[i].y));
                if (ImGui::Button(element_symbol[i].c_str(), ImVec2(30.0f, 20.0f))) {
                    if (HasValidSelection(display))
                        display.UpdateAtomType(i);
                    ImGui::CloseCurrentPopup();
                }
            }
            ImGui::EndPopup();
        }
        ImGui::EndDisabled();
        ImGui::PopStyleVar();
        const std::string measured = MeasurementText(display);
        if (!measured.empty())
            ImGui::TextUnformatted(measured.c_str());
    }
    FrameControls(s, display);
    EndControlWindow();
}

bool ShowFrame(CShellState& s, CDisplay& display, std::size_t k)
{
    (void)s;
    if (!display.data.SetFrame(k))
        return false;  // the model keeps the reason, the Action window shows it
    display.OnFrameChanged();
    return true;
}

void FramesStep(CShellState& s, CDisplay& display)
{
    s.is_indexing = false;
    if (!display.is_visible)
        return;
    CTrajectory& frames = display.data.Frames();
    // a slice of the index per pass keeps the window answering
    s.is_indexing = !frames.IndexStep(kIndexSlice);
    if (!s.is_playing)
        return;
    const float period = 1.0f / std::max(s.frame_rate, 0.1f);
    s.play_clock += ImGui::GetIO().DeltaTime;
    if (s.play_clock < period)
        return;
    // one frame per pass at most: a slow frame does not pile up steps
    s.play_clock = std::min(s.play_clock - period, period);
    const std::size_t count = display.data.GetIndexedFrames();
    std::size_t k = display.data.GetShownFrame();
    // frames that cannot be shown are passed over, a few per pass
    for (int tries = 0; tries < 8; ++tries) {
        ++k;
        if (k >= count) {
            if (!display.data.IsFrameIndexWhole())
                return;  // the next frame is not indexed yet
            if (!s.is_loop) {
                s.is_playing = false;
                return;
            }
            k = 0;
        }
        if (k == display.data.GetShownFrame() || ShowFrame(s, display, k))
            return;
    }
}

void ControlWindows(CShellState& s, CDisplay& display)
{
    FramesStep(s, display);
    FinishVolumeOpen(s, display);
    s.volume->Step();
    if (s.show_volume_window)
        s.volume->Window(&s.show_volume_window);
    if (s.show_config_window)
        SettingsWindow(s, display);
    if (s.show_file_chooser)
        ChooseFileWindow(s, display);
    if (s.show_info_window)
        ActionWindow(s, display);
    UnsavedEditsQuestion(s, display);
    // labels follow the two flags even while the Settings window is hidden
    display.is_show_label = display.is_show_symbol || display.is_show_index;
}
