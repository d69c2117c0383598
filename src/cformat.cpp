#include "cformat.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include "io/lammps.h"
#include "version.h"

namespace {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

const char* FormatLabel(int code) { return io::FormatLabel(static_cast<io::Format>(code)); }

int ParseFormatName(const std::string& name) { return int(io::FormatFromName(name)); }

int DetectFormatByName(const std::string& path) { return int(io::DetectByName(path)); }

int DetectFormatByContent(const std::string& text) { return int(io::DetectByContent(text)); }

int DetectFormat(const std::string& path) { return int(io::Detect(path)); }

int ResolveFormat(const std::string& path, int fmt)
{
    return fmt == INPUT_FILE_TYPE_AUTO ? DetectFormat(path) : fmt;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char* UsageText()
{
    static const std::string text =
        "Usage: tesk [OPTIONS] [FILE]\n"
        "       tesk [--format FMT] [--to FMT] [--types MAP] --convert IN OUT\n"
        "\n"
        "Shows the atomic structure in FILE (XYZ, VASP, PDB, CIF, mmCIF, LAMMPS data\n"
        "or dump; any of them gzip-compressed as NAME.gz).\n"
        "\n"
        "Options:\n"
        "  --format FMT      read FILE or IN as FMT: " + io::FormatNames(false) + "\n"
        "                    (default: told from the name, then the content)\n"
        "  --convert IN OUT  write the structure in IN to OUT and open no window\n"
        "  --to FMT          write OUT as FMT: " + io::FormatNames(true) + "\n"
        "                    (default: told from the name of OUT)\n"
        "  --types MAP       LAMMPS atom types as elements, e.g. 1=Cu,2=Zr\n"
        "  -h, --help        show this text and exit\n"
        "  -V, --version     show the version and exit\n";
    return text.c_str();
}

std::string VersionText()
{
    return std::string("Tesk ") + AutoVersion::STATUS + " " + AutoVersion::UBUNTU_VERSION_STYLE + "(" +
           AutoVersion::DATE + ")";
}

CCommandLine ParseCommandLine(int argc, const char* const* argv)
{
    CCommandLine cmd;
    std::vector<std::string> plain;
    bool convert = false, options_done = false;
    auto bad = [&cmd](const std::string& why) {
        cmd.action = CCommandLine::BAD_USAGE;
        cmd.message = why;
        return cmd;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            plain.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
        } else if (arg == "-h" || arg == "--help") {
            cmd.action = CCommandLine::SHOW_HELP;
            return cmd;
        } else if (arg == "-V" || arg == "--version") {
            cmd.action = CCommandLine::SHOW_VERSION;
            return cmd;
        } else if (arg == "--convert") {
            convert = true;
        } else if (StartsWith(arg, "--format") || StartsWith(arg, "--types") || StartsWith(arg, "--to")) {
            const bool types = StartsWith(arg, "--types");
            const bool to = !types && StartsWith(arg, "--to");
            const std::string name = types ? "--types" : to ? "--to" : "--format";
            const std::string names = io::FormatNames(to);
            std::string value;
            if (arg == name) {
                if (i + 1 >= argc)
                    return bad(name + (types ? " needs a map such as 1=Cu,2=Zr" : " needs a format: " + names));
                value = argv[++i] ? argv[i] : "";
            } else if (arg.size() > name.size() && arg[name.size()] == '=') {
                value = arg.substr(name.size() + 1);
            } else {
                return bad("unknown option " + arg);
            }
            if (types) {
                std::string why;
                if (!io::ParseTypeMap(value, cmd.type_elements, why))
                    return bad("--types: " + why);
                continue;
            }
            const int code = ParseFormatName(value);
            const io::FormatEntry* entry = io::FindFormat(code);
            if (entry == nullptr || (to && !entry->is_writable))
                return bad("unknown format '" + value + "' (" + names + ")");
            (to ? cmd.to_format : cmd.format) = code;
        } else {
            return bad("unknown option " + arg);
        }
    }
    if (convert) {
        if (plain.size() != 2)
            return bad("--convert needs an input and an output file");
        cmd.action = CCommandLine::CONVERT;
        cmd.input = plain[0];
        cmd.output = plain[1];
        return cmd;
    }
    if (cmd.to_format != INPUT_FILE_TYPE_AUTO)
        return bad("--to goes with --convert");
    if (plain.size() > 1)
        return bad("only one FILE can be opened");
    if (!plain.empty())
        cmd.file = plain[0];
    return cmd;
}

bool ConvertFile(const std::string& in, int in_fmt, const std::string& out, int out_fmt, std::string& message)
{
    return ConvertFile(in, in_fmt, out, out_fmt, io::ReadOptions(), message);
}

bool ConvertFile(const std::string& in, int in_fmt, const std::string& out, int out_fmt,
                 const io::ReadOptions& options, std::string& message)
{
    message.clear();
    const int read_fmt = ResolveFormat(in, in_fmt);
    if (read_fmt == INPUT_FILE_TYPE_UNKNOWN) {
        message = "Could not tell the format of " + in + "; name it with --format";
        return false;
    }
    const int write_fmt = out_fmt == INPUT_FILE_TYPE_AUTO ? DetectFormatByName(out) : out_fmt;
    if (write_fmt == INPUT_FILE_TYPE_UNKNOWN) {
        message = "Could not tell the format to write " + out + " in; name it with --to";
        return false;
    }
    // the model holds a few fixed-size records: keep it off the stack
    auto model = std::make_unique<CModel>();
    model->read_options = options;
    if (!model->ReadFile(FolderOf(in), in, read_fmt)) {
        message = io::RefusalText(in, model->read_refusal);
        return false;
    }
    if (!model->SaveFileAs(out, write_fmt)) {
        message = "Could not save " + out + (model->save_message.empty() ? "" : ": " + model->save_message);
        return false;
    }
    return true;
}

int RunCommandLine(const CCommandLine& cmd, std::FILE* out, std::FILE* err)
{
    switch (cmd.action) {
    case CCommandLine::RUN_VIEWER:
        return -1;
    case CCommandLine::SHOW_HELP:
        std::fputs(UsageText(), out);
        return 0;
    case CCommandLine::SHOW_VERSION:
        std::fprintf(out, "%s\n", VersionText().c_str());
        return 0;
    case CCommandLine::CONVERT: {
        std::string message;
        io::ReadOptions options;
        options.type_elements = cmd.type_elements;
        if (ConvertFile(cmd.input, cmd.format, cmd.output, cmd.to_format, options, message))
            return 0;
        std::fprintf(err, "%s\n", message.c_str());
        return 1;
    }
    case CCommandLine::BAD_USAGE:
    default:
        std::fprintf(err, "tesk: %s\n%s", cmd.message.c_str(), UsageText());
        return 2;
    }
}
