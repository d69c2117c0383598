// The save row of the file dialog: the name, the output format, and the
// question before a file is replaced.
#include <sys/stat.h>

#include <cstdio>

#include "file_dialog_internal.h"

namespace FileChooser {

void Dialog::Internal::changeFormat(int n)
{
    const int old = *format;
    *format = n;
    overwritePath.clear();
    if (!formatExtensions || old == n)
        return;
    const std::string from = formatExtensions[old] ? formatExtensions[old] : "";
    const std::string to = formatExtensions[n] ? formatExtensions[n] : "";
    std::string name(saveName);
    if (from.empty() || name.size() <= from.size() || Lower(name.substr(name.size() - from.size())) != Lower(from))
        return;
    name.replace(name.size() - from.size(), from.size(), to);
    CopyPath(saveName, sizeof(saveName), name.c_str());
}

bool Dialog::Internal::confirmSaveName()
{
    const std::string name(saveName);
    if (name.empty())
        return false;
    const std::string path = name[0] == '/' ? name : JoinPath(currentFolder, name);
    if (path.size() >= static_cast<size_t>(MAX_PATH_BYTES))
        return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            // a folder's name goes into that folder
            saveName[0] = '\0';
            showFolder(ResolveFolder(path));
            return false;
        }
        overwritePath = path;  // asked below; only "Yes" writes
        return false;
    }
    CopyPath(chosenPath, sizeof(chosenPath), path.c_str());
    return true;
}

bool Dialog::Internal::drawSaveRow()
{
    const ImGuiStyle& style = ImGui::GetStyle();
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted("Name:");
    ImGui::SameLine();
    const float saveWidth = ImGui::CalcTextSize("Save").x + style.FramePadding.x * 2.0f;
    const float comboWidth = formatCount > 0 ? 90.0f : 0.0f;
    ImGui::PushItemWidth(
        -(saveWidth + (formatCount > 0 ? comboWidth + style.ItemSpacing.x : 0.0f) + style.ItemSpacing.x));
    if (focusSaveName) {
        ImGui::SetKeyboardFocusHere();
        focusSaveName = false;
    }
    bool confirmed = ImGui::InputText("##SaveFileName", saveName, sizeof(saveName),
                                      ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
    ImGui::PopItemWidth();
    if (ImGui::IsItemEdited())
        overwritePath.clear();
    record(ShownItem::SAVE_NAME_FIELD, saveName);

    if (formatCount > 0) {
        ImGui::SameLine();
        ImGui::SetNextItemWidth(comboWidth);
        const bool opened = ImGui::BeginCombo("##SaveFileFormat", formatLabels[*format]);
        record(ShownItem::SAVE_FORMAT, formatLabels[*format]);
        if (opened) {
            for (int n = 0; n < formatCount; ++n) {
                const bool selected = n == *format;
                if (ImGui::Selectable(formatLabels[n], selected) && !selected)
                    changeFormat(n);
                if (selected)
                    ImGui::SetItemDefaultFocus();
            }
            ImGui::EndCombo();
        }
    }
    ImGui::SameLine();
    confirmed = ImGui::Button("Save##SaveFileButton") || confirmed;
    record(ShownItem::SAVE_BUTTON, "Save");
    if (confirmed && confirmSaveName())
        return true;

    if (overwritePath.empty())
        return false;
    const std::string question = "Overwrite " + overwritePath + "?";
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(question.c_str());
    ImGui::SameLine();
    const bool yes = ImGui::Button("Yes##OverwriteYes");
    record(ShownItem::OVERWRITE_YES, question);
    ImGui::SameLine();
    const bool no = ImGui::Button("No##OverwriteNo");
    record(ShownItem::OVERWRITE_NO, "No");
    if (no)
        overwritePath.clear();
    if (!yes)
        return false;
    CopyPath(chosenPath, sizeof(chosenPath), overwritePath.c_str());
    overwritePath.clear();
    return true;
}

const char* Dialog::saveFileDialog(bool dialogTriggerButton, const char* directory, const char* startName,
                                   const char* const* formatLabels, const char* const* formatExtensions,
                                   int formatCount, int* format, const char* windowTitle)
{
    Internal& I = *internal;
    I.saveMode = true;
    I.formatLabels = formatLabels;
    I.formatExtensions = formatExtensions;
    const bool hasFormats = formatLabels && format && formatCount > 0;
    I.formatCount = hasFormats ? formatCount : 0;
    I.format = format;
    if (hasFormats && (*format < 0 || *format >= formatCount))
        *format = 0;
    if (dialogTriggerButton) {
        CopyPath(I.saveName, sizeof(I.saveName), startName ? startName : "");
        I.overwritePath.clear();
        I.focusSaveName = true;
    }
    return chooseFileDialog(dialogTriggerButton, directory, nullptr,
                            windowTitle ? windowTitle : "Please choose/create a file for saving");
}

}  // namespace FileChooser
