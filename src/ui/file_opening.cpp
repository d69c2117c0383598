// Opening files from the shell: the checks and names around a load, where
// the file dialogs start, and the question about unsaved edits.
#include "ui/file_opening.h"

#include <imgui.h>

#include <cstdio>

#include "render/display.h"
#include "ui/file_dialog.h"
#include "ui/volume_panel.h"

namespace {

const char* const UNSAVED_TITLE = "Unsaved edits";

// The names of the file shown (the File line, Reload, the dialogs), after
// a successful load.
void NameShown(CShellState& s, const std::string& dir, const std::string& path, int fmt)
{
    CopyTextCut(s.filePath, PATH_SIZE, path.c_str());
    CopyTextCut(s.dirPath, PATH_SIZE, dir.c_str());
    s.browse_folder = dir;
    if (fmt >= 0) {
        s.input_format = fmt;
        s.item_current = nullptr;  // the Choose File window names it again
    }
}

void LoadAndName(CShellState& s, CDisplay& display, const std::string& dir, const std::string& path, int fmt)
{
    if (LoadStructure(s, display, dir.c_str(), path.c_str(), true, fmt))
        NameShown(s, dir, path, fmt);
}

}  // namespace

const char* DialogFolder(const CShellState& s)
{
    return s.browse_folder.empty() ? s.filePath : s.browse_folder.c_str();
}

void NoteDialogFolder(CShellState& s, const FileChooser::Dialog& d)
{
    // its widgets are listed only in a frame it was drawn in
    if (!d.getShownItems().empty())
        s.browse_folder = d.getLastDirectory();
}

void OpenFile(CShellState& s, CDisplay& display, const std::string& dir, const std::string& path, int fmt)
{
    if (display.is_visible && display.is_edited) {
        s.pending_dir = dir;
        s.pending_path = path;
        s.pending_format = fmt;
        s.is_unsaved_asked = true;
        return;
    }
    LoadAndName(s, display, dir, path, fmt);
}

void FinishVolumeOpen(CShellState& s, CDisplay& display)
{
    std::string message;
    const std::string path = s.volume->OpeningPath();
    switch (s.volume->FinishOpen(display, message)) {
    case CVolumeView::Opened::Nothing:
        return;
    case CVolumeView::Opened::Refused:
        s.load_message = "Could not read " + message;
        std::printf("%s\n", s.load_message.c_str());
        std::fflush(stdout);
        return;
    case CVolumeView::Opened::Shown:
        ShowLoaded(s, display, path.c_str(), s.is_volume_titled);
        if (s.is_volume_titled)
            NameShown(s, s.volume_dir, path, s.volume_format);
        return;
    }
}

void OpenPending(CShellState& s, CDisplay& display)
{
    const std::string dir = s.pending_dir, path = s.pending_path;
    s.pending_path.clear();
    LoadAndName(s, display, dir, path, s.pending_format);
}

void UnsavedEditsQuestion(CShellState& s, CDisplay& display)
{
    if (s.is_unsaved_asked)
        ImGui::OpenPopup(UNSAVED_TITLE);
    s.is_unsaved_asked = false;
    if (!ImGui::BeginPopupModal(UNSAVED_TITLE, nullptr, ImGuiWindowFlags_AlwaysAutoResize))
        return;
    ImGui::Text("%s has edits that are not saved.", s.filePath[0] ? s.filePath : "The structure");
    ImGui::Text("Save them before opening %s?", s.pending_path.c_str());
    if (ImGui::Button("Save")) {
        s.is_save_asked = true;
        s.show_file_chooser = true;  // the Save As dialog opens from it
        ImGui::CloseCurrentPopup();
    }
    ImGui::SameLine();
    if (ImGui::Button("Discard")) {
        ImGui::CloseCurrentPopup();
        OpenPending(s, display);
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false)) {
        s.pending_path.clear();
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}
