#include "ui/command_line.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "io/lammps.h"
#include "model/convert.h"
#include "model/report.h"
#include "model/volume_convert.h"
#include "version.h"

namespace {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

const char* UsageText()
{
    static const std::string text =
        "Usage: tesk [OPTIONS] [FILE]\n"
        "       tesk [--format FMT] [--to FMT] [--types MAP] --convert IN OUT\n"
        "       tesk [--format FMT] --info IN\n"
        "       tesk [--format FMT] [--frame K] --bonds IN\n"
        "       tesk [--format FMT] [RENDER OPTIONS] --render IN OUT.png\n"
        "\n"
        "Shows the atomic structure in FILE (XYZ, VASP, PDB, CIF, mmCIF, LAMMPS data\n"
        "or dump; any of them gzip-compressed as NAME.gz), and the surfaces of VASP\n"
        "volumetric files (CHGCAR, LOCPOT, ELFCAR, ...) and Gaussian cube files.\n"
        "\n"
        "Options:\n"
        "  --format FMT      read FILE or IN as FMT: " +
        io::FormatNames(false) +
        "\n"
        "                    (default: told from the name, then the content)\n"
        "  --convert IN OUT  write the structure in IN to OUT and open no window\n"
        "  --to FMT          write OUT as FMT: " +
        io::FormatNames(true) +
        "\n"
        "                    (default: told from the name of OUT); OUT - writes to\n"
        "                    standard output\n"
        "  --iso LEVEL       with --convert of a volumetric IN (CHGCAR, LOCPOT, cube, ...)\n"
        "                    to OUT.obj: the surface at LEVEL (default: from the data)\n"
        "  --types MAP       LAMMPS atom types as elements, e.g. 1=Cu,2=Zr\n"
        "  --info IN         print the format, atom count, formula, cell, periodicity\n"
        "                    and frame count of IN\n"
        "  --bonds IN        print the bonds the viewer draws, one 'i j length a b c'\n"
        "                    a line: atoms from 0 in file order, a b c the cell of\n"
        "                    j's image\n"
        "  --frame K         the frame --bonds reports, from 1 (default 1)\n"
        "  --render IN OUT   draw IN into the PNG OUT, with no window and no display\n"
        "  -h, --help        show this text and exit\n"
        "  -V, --version     show the version and exit\n"
        "\n"
        "Render options:\n"
        "  --size WxH        image size in pixels, up to 8192x8192 (default 1280x720)\n"
        "  --view V          look along a, b, c, a*, b*, c* or u,v,w\n"
        "                    (default: the view a new window shows)\n"
        "  --ortho           orthographic projection (default)\n"
        "  --perspective     perspective projection\n"
        "  --background B    transparent or #rrggbb (default: the window's colour)\n"
        "  --bonds on|off    draw bonds (default off, as a new window)\n"
        "  --labels on|off   draw element symbols (default off)\n"
        "  --repeat NxMxK    cells drawn along a, b and c, 1 to 10 (default 1x1x1)\n";
    return text.c_str();
}

std::string VersionText()
{
    return std::string("Tesk ") + AutoVersion::STATUS + " " + AutoVersion::UBUNTU_VERSION_STYLE + "(" +
           AutoVersion::DATE + ")";
}

namespace {

// Where the value of a render option goes; null for any other argument.
std::string* RenderValue(CRenderOptions& o, const std::string& arg, bool rendering)
{
    struct Option {
        const char* name;
        std::string CRenderOptions::*value;
    };
    static const Option options[] = {{"--size", &CRenderOptions::size},
                                     {"--view", &CRenderOptions::view},
                                     {"--background", &CRenderOptions::background},
                                     {"--repeat", &CRenderOptions::repeat},
                                     {"--labels", &CRenderOptions::labels},
                                     {"--bonds", &CRenderOptions::bonds}};
    for (const Option& option : options) {
        const std::string name = option.name;
        // without --render, --bonds is the bond report
        if (name == "--bonds" && !rendering)
            continue;
        if (arg == name || (StartsWith(arg, name) && arg[name.size()] == '='))
            return &(o.*option.value);
    }
    return nullptr;
}

}  // namespace

CCommandLine ParseCommandLine(int argc, const char* const* argv)
{
    CCommandLine cmd;
    std::vector<std::string> plain;
    bool convert = false, options_done = false, frame_given = false;
    CCommandLine::Action report = CCommandLine::RUN_VIEWER;
    // with --render, --bonds and --labels take on or off
    bool rendering = false, render = false, render_options = false;
    for (int i = 1; i < argc && argv[i] && std::strcmp(argv[i], "--") != 0; ++i)
        rendering = rendering || std::strcmp(argv[i], "--render") == 0;
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
        } else if (arg == "--iso" || StartsWith(arg, "--iso=")) {
            std::string value = arg.size() > 5 ? arg.substr(6) : "";
            if (arg == "--iso") {
                if (i + 1 >= argc)
                    return bad("--iso needs a level");
                value = argv[++i] ? argv[i] : "";
            }
            char* end = nullptr;
            cmd.iso_level = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(cmd.iso_level))
                return bad("--iso needs a number, not '" + value + "'");
            cmd.has_iso = true;
        } else if (arg == "--render" || arg == "--ortho" || arg == "--perspective") {
            (arg == "--render" ? render : arg == "--ortho" ? cmd.render.is_ortho : cmd.render.is_perspective) = true;
            render_options = render_options || arg != "--render";
        } else if (std::string* value = RenderValue(cmd.render, arg, rendering)) {
            // --size WxH or --size=WxH; the renderer checks the value
            const std::size_t equals = arg.find('=');
            if (equals != std::string::npos)
                *value = arg.substr(equals + 1);
            else if (i + 1 < argc && argv[i + 1])
                *value = argv[++i];
            else
                return bad(arg + " needs a value");
            render_options = true;
        } else if (arg == "--info" || arg == "--bonds") {
            report = arg == "--info" ? CCommandLine::INFO : CCommandLine::BONDS;
        } else if (arg == "--frame") {
            const char* value = i + 1 < argc && argv[i + 1] ? argv[++i] : "";
            char* end = nullptr;
            const unsigned long long k = std::strtoull(value, &end, 10);
            if (*value < '0' || *value > '9' || *end != '\0' || k == 0 || k > SIZE_MAX)
                return bad("--frame needs a frame number from 1");
            cmd.frame = static_cast<std::size_t>(k);
            frame_given = true;
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
            const int code = int(io::FormatFromName(value));
            const io::FormatEntry* entry = io::FindFormat(code);
            if (entry == nullptr || (to && !entry->is_writable))
                return bad("unknown format '" + value + "' (" + names + ")");
            (to ? cmd.to_format : cmd.format) = code;
        } else {
            return bad("unknown option " + arg);
        }
    }
    if (render) {
        if (plain.size() != 2 || convert || report != CCommandLine::RUN_VIEWER || frame_given ||
            cmd.to_format != INPUT_FILE_TYPE_AUTO)
            return bad("--render needs an input file and an output PNG, and no other action");
        if (cmd.render.is_ortho && cmd.render.is_perspective)
            return bad("--ortho and --perspective exclude each other");
        cmd.action = CCommandLine::RENDER;
        cmd.input = plain[0];
        cmd.output = plain[1];
        return cmd;
    }
    if (render_options)
        return bad("--size, --view, --ortho, --perspective, --background, --labels and --repeat go with --render");
    if (report != CCommandLine::RUN_VIEWER) {
        if (convert || plain.size() != 1 || cmd.to_format != INPUT_FILE_TYPE_AUTO)
            return bad(std::string(report == CCommandLine::INFO ? "--info" : "--bonds") + " needs one input file");
        if (frame_given && report != CCommandLine::BONDS)
            return bad("--frame goes with --bonds");
        cmd.action = report;
        cmd.input = plain[0];
        return cmd;
    }
    if (frame_given)
        return bad("--frame goes with --bonds");
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

namespace {

// Reads the input of --info or --bonds, and for --bonds steps to the frame
// asked for. The format read, or INPUT_FILE_TYPE_UNKNOWN with the reason.
int ReadForReport(CModel& model, const CCommandLine& cmd, std::string& message)
{
    const int fmt = ReadInputFile(cmd.input, cmd.format, model, message);
    if (fmt == INPUT_FILE_TYPE_UNKNOWN)
        return fmt;
    if (cmd.action != CCommandLine::BONDS || cmd.frame == 1)
        return fmt;
    const std::size_t frames = model.GetFrameCount();
    if (cmd.frame > frames) {
        message = cmd.input + " has " + std::to_string(frames) + " frame" + (frames == 1 ? "" : "s") + ", not " +
                  std::to_string(cmd.frame);
        return INPUT_FILE_TYPE_UNKNOWN;
    }
    if (!model.SetFrame(cmd.frame - 1)) {
        message = model.FrameMessage();
        return INPUT_FILE_TYPE_UNKNOWN;
    }
    return fmt;
}

}  // namespace

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
        // notes and failures go to stderr: stdout may be the structure itself
        std::string message;
        io::ReadOptions options;
        options.type_elements = cmd.type_elements;
        const io::Format in_fmt = static_cast<io::Format>(int(io::Resolve(cmd.input, io::Format(cmd.format))));
        const io::FormatEntry* entry = io::FindFormat(in_fmt);
        const bool volume = cmd.has_iso || (entry != nullptr && entry->is_volumetric);
        const bool ok = volume ? io::ConvertVolumeFile(cmd.input, in_fmt, cmd.output, cmd.to_format, cmd.has_iso,
                                                       cmd.iso_level, message)
                               : ConvertFile(cmd.input, cmd.format, cmd.output, cmd.to_format, message, out, options);
        if (!message.empty())
            std::fprintf(err, "%s%s\n", ok ? "tesk: " : "", message.c_str());
        return ok ? 0 : 1;
    }
    case CCommandLine::INFO:
    case CCommandLine::BONDS: {
        std::string message;
        auto model = std::make_unique<CModel>();
        const int fmt = ReadForReport(*model, cmd, message);
        if (fmt == INPUT_FILE_TYPE_UNKNOWN) {
            std::fprintf(err, "%s\n", message.c_str());
            return 1;
        }
        const std::string text = cmd.action == CCommandLine::INFO ? InfoReport(*model, io::FormatLabel(io::Format(fmt)))
                                                                  : BondReport(*model);
        std::fputs(text.c_str(), out);
        return 0;
    }
    case CCommandLine::RENDER:
        // drawn by the caller, which has the renderer
        std::fprintf(err, "tesk: this program cannot render\n");
        return 1;
    case CCommandLine::BAD_USAGE:
    default:
        std::fprintf(err, "tesk: %s\n%s", cmd.message.c_str(), UsageText());
        return 2;
    }
}
