#include "model/convert.h"

#include <memory>

#include "io/text_source.h"
#include "io/textio.h"

int ReadInputFile(const std::string& in, int in_fmt, CModel& model, std::string& message)
{
    if (!textio::IsRegularFile(in)) {
        message = "Could not read " + in + ": it is missing or not a regular file";
        return INPUT_FILE_TYPE_UNKNOWN;
    }
    const int fmt = int(io::Resolve(in, io::Format(in_fmt)));
    if (fmt == INPUT_FILE_TYPE_UNKNOWN) {
        message = "Could not tell the format of " + in + "; name it with --format";
        return fmt;
    }
    if (!model.ReadFile(io::FolderOf(in), in, fmt)) {
        // where the reader stopped and why; else what the model noted
        if (!model.ReadRefusal().reason.empty()) {
            message = io::RefusalText(in, model.ReadRefusal());
        } else {
            message = "Could not read " + in + " as " + io::FormatLabel(io::Format(fmt));
            if (!model.Notes().empty())
                message += ": " + model.Notes();
        }
        return INPUT_FILE_TYPE_UNKNOWN;
    }
    return fmt;
}

bool ConvertFile(const std::string& in, int in_fmt, const std::string& out, int out_fmt, std::string& message,
                 std::FILE* standard_output, const io::ReadOptions& options)
{
    message.clear();
    const bool to_stdout = out == "-";
    const int write_fmt = out_fmt == INPUT_FILE_TYPE_AUTO ? int(io::DetectByName(out)) : out_fmt;
    // an input of unknown format is said first; an unknown output before the read
    if (write_fmt == INPUT_FILE_TYPE_UNKNOWN && textio::IsRegularFile(in) &&
        int(io::Resolve(in, io::Format(in_fmt))) != INPUT_FILE_TYPE_UNKNOWN) {
        message = to_stdout ? "Name the format to write to standard output with --to"
                            : "Could not tell the format to write " + out + " in; name it with --to";
        return false;
    }
    // the model holds a few fixed-size records: keep it off the stack
    auto model = std::make_unique<CModel>();
    model->read_options = options;
    if (ReadInputFile(in, in_fmt, *model, message) == INPUT_FILE_TYPE_UNKNOWN)
        return false;
    if (write_fmt == INPUT_FILE_TYPE_UNKNOWN) {
        message = "Could not tell the format to write " + out + " in; name it with --to";
        return false;
    }
    const std::string read_notes = model->Notes();
    bool saved;
    if (to_stdout) {
        model->ClearNotes();
        std::string text;
        saved = model->BuildSaveText(out, write_fmt, text) &&
                std::fwrite(text.data(), 1, text.size(), standard_output) == text.size() &&
                std::fflush(standard_output) == 0;
    } else {
        saved = model->SaveFileAs(out, write_fmt);
    }
    if (!saved) {
        message = "Could not save " + out + (model->Notes().empty() ? "" : ": " + model->Notes());
        return false;
    }
    // notes of the read and of the save, for the user to see
    message = read_notes;
    if (!model->Notes().empty())
        message += (message.empty() ? "" : "; ") + model->Notes();
    return true;
}
