#include "cformat.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "core/report.h"
#include "textio.h"
#include "version.h"

namespace {

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// How many numbers a line holds when it holds nothing else; -1 when another
// word stands on it.
int CountNumbers(std::string_view line)
{
    std::string text(line);
    const char* p = text.c_str();
    int n = 0;
    for (;;) {
        while (*p && std::isspace(static_cast<unsigned char>(*p)))
            ++p;
        if (!*p)
            return n;
        char* end = nullptr;
        std::strtod(p, &end);
        if (end == p || (*end && !std::isspace(static_cast<unsigned char>(*end))))
            return -1;
        p = end;
        ++n;
    }
}

bool IsCountLine(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    const std::size_t digits = i;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
        ++i;
    if (i == digits)
        return false;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    return i == line.size();
}

// The first lines of a file: enough to tell the formats apart without
// reading a large one whole.
constexpr std::size_t DETECT_LINES = 200;
constexpr std::size_t DETECT_BYTES = 1 << 16;

}  // namespace

const char* FormatLabel(int code)
{
    switch (code) {
    case INPUT_FILE_TYPE_XYZ:
        return "XYZ";
    case INPUT_FILE_TYPE_VSP:
        return "VASP";
    case INPUT_FILE_TYPE_PDB:
        return "PDB";
    case INPUT_FILE_TYPE_AUTO:
        return "Auto";
    default:
        return "an unknown format";
    }
}

int ParseFormatName(const std::string& name)
{
    const std::string n = Lower(name);
    if (n == "xyz")
        return INPUT_FILE_TYPE_XYZ;
    if (n == "vasp")
        return INPUT_FILE_TYPE_VSP;
    if (n == "pdb")
        return INPUT_FILE_TYPE_PDB;
    return INPUT_FILE_TYPE_UNKNOWN;
}

int DetectFormatByName(const std::string& path)
{
    const std::string base = BaseName(path);
    const std::string lower = Lower(base);
    const std::size_t dot = lower.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        const std::string ext = lower.substr(dot);
        if (ext == ".xyz" || ext == ".extxyz")
            return INPUT_FILE_TYPE_XYZ;
        if (ext == ".pdb" || ext == ".ent")
            return INPUT_FILE_TYPE_PDB;
        if (ext == ".vasp" || ext == ".poscar")
            return INPUT_FILE_TYPE_VSP;
    }
    if (StartsWith(lower, "poscar") || StartsWith(lower, "contcar"))
        return INPUT_FILE_TYPE_VSP;
    return INPUT_FILE_TYPE_UNKNOWN;
}

int DetectFormatByContent(const std::string& text)
{
    std::vector<std::string_view> lines;
    std::string_view rest = textio::SkipByteOrderMark(text);
    while (!rest.empty() && lines.size() < DETECT_LINES) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }

    static const char* const records[] = {"ATOM  ", "ATOM ", "HETATM", "CRYST1", "HEADER", "MODEL "};
    for (std::string_view line : lines)
        for (const char* r : records)
            if (StartsWith(line, r))
                return INPUT_FILE_TYPE_PDB;

    // Three lines of three bare numbers are lattice vectors, never XYZ atom
    // lines (those start with a symbol): a VASP title may well be a number.
    bool vasp = lines.size() >= 5;
    if (vasp) {
        const int scale = CountNumbers(lines[1]);
        vasp = scale == 1 || scale == 3;
        for (int k = 2; k < 5 && vasp; ++k)
            vasp = CountNumbers(lines[k]) == 3;
    }
    if (vasp)
        return INPUT_FILE_TYPE_VSP;
    if (!lines.empty() && IsCountLine(lines[0]))
        return INPUT_FILE_TYPE_XYZ;
    return INPUT_FILE_TYPE_UNKNOWN;
}

int DetectFormat(const std::string& path)
{
    const int by_name = DetectFormatByName(path);
    if (by_name != INPUT_FILE_TYPE_UNKNOWN)
        return by_name;
    // a FIFO or a device is refused before it is opened: reading one may never end
    std::string head;
    if (!textio::ReadFileHead(path, DETECT_BYTES, head))
        return INPUT_FILE_TYPE_UNKNOWN;
    return DetectFormatByContent(head);
}

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
    return "Usage: tesk [OPTIONS] [FILE]\n"
           "       tesk [--format FMT] [--to FMT] --convert IN OUT\n"
           "       tesk [--format FMT] --info IN\n"
           "       tesk [--format FMT] [--frame K] --bonds IN\n"
           "\n"
           "Shows the atomic structure in FILE (XYZ, VASP POSCAR/CONTCAR or PDB).\n"
           "\n"
           "Options:\n"
           "  --format FMT      read FILE or IN as FMT: xyz, vasp or pdb\n"
           "                    (default: told from the name, then the content)\n"
           "  --convert IN OUT  write the structure in IN to OUT and open no window\n"
           "  --to FMT          write OUT as FMT (default: told from the name of OUT);\n"
           "                    OUT - writes to standard output\n"
           "  --info IN         print the format, atom count, formula, cell, periodicity\n"
           "                    and frame count of IN\n"
           "  --bonds IN        print the bonds the viewer draws, one 'i j length a b c'\n"
           "                    a line: atoms from 0 in file order, a b c the cell of\n"
           "                    j's image\n"
           "  --frame K         the frame --bonds reports, from 1 (default 1)\n"
           "  -h, --help        show this text and exit\n"
           "  -V, --version     show the version and exit\n";
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
    bool convert = false, options_done = false, frame_given = false;
    CCommandLine::Action report = CCommandLine::RUN_VIEWER;
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
        } else if (StartsWith(arg, "--format") || StartsWith(arg, "--to")) {
            const bool to = StartsWith(arg, "--to");
            const std::string name = to ? "--to" : "--format";
            std::string value;
            if (arg == name) {
                if (i + 1 >= argc)
                    return bad(name + " needs a format: xyz, vasp or pdb");
                value = argv[++i] ? argv[i] : "";
            } else if (arg.size() > name.size() && arg[name.size()] == '=') {
                value = arg.substr(name.size() + 1);
            } else {
                return bad("unknown option " + arg);
            }
            const int code = ParseFormatName(value);
            if (code == INPUT_FILE_TYPE_UNKNOWN)
                return bad("unknown format '" + value + "' (xyz, vasp or pdb)");
            (to ? cmd.to_format : cmd.format) = code;
        } else {
            return bad("unknown option " + arg);
        }
    }
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

bool ConvertFile(const std::string& in, int in_fmt, const std::string& out, int out_fmt, std::string& message,
                 std::FILE* standard_output)
{
    message.clear();
    if (!textio::IsRegularFile(in)) {
        message = "Could not read " + in + ": it is missing or not a regular file";
        return false;
    }
    const int read_fmt = ResolveFormat(in, in_fmt);
    if (read_fmt == INPUT_FILE_TYPE_UNKNOWN) {
        message = "Could not tell the format of " + in + "; name it with --format";
        return false;
    }
    const bool to_stdout = out == "-";
    const int write_fmt = out_fmt == INPUT_FILE_TYPE_AUTO ? DetectFormatByName(out) : out_fmt;
    if (write_fmt == INPUT_FILE_TYPE_UNKNOWN) {
        message = to_stdout ? "Name the format to write to standard output with --to"
                            : "Could not tell the format to write " + out + " in; name it with --to";
        return false;
    }
    // the model holds a few fixed-size records: keep it off the stack
    auto model = std::make_unique<CModel>();
    auto with_notes = [&](std::string text) { return model->notes.empty() ? text : text + ": " + model->notes; };
    if (!model->ReadFile(FolderOf(in), in, read_fmt)) {
        message = with_notes("Could not read " + in + " as " + FormatLabel(read_fmt));
        return false;
    }
    const std::string read_notes = model->notes;
    bool saved;
    if (to_stdout) {
        model->notes.clear();
        std::string text;
        saved = model->BuildSaveText(out, write_fmt, text) &&
                std::fwrite(text.data(), 1, text.size(), standard_output) == text.size() &&
                std::fflush(standard_output) == 0;
    } else {
        saved = model->SaveFileAs(out, write_fmt);
    }
    if (!saved) {
        message = with_notes("Could not save " + out);
        return false;
    }
    // notes of the read and of the save, for the user to see
    message = read_notes;
    if (!model->notes.empty())
        message += (message.empty() ? "" : "; ") + model->notes;
    return true;
}

namespace {

// Reads the input of --info or --bonds, and for --bonds steps to the frame
// asked for. The format read, or INPUT_FILE_TYPE_UNKNOWN with the reason.
int ReadForReport(CModel& model, const CCommandLine& cmd, std::string& message)
{
    const int fmt = ResolveFormat(cmd.input, cmd.format);
    if (fmt == INPUT_FILE_TYPE_UNKNOWN) {
        message = "Could not tell the format of " + cmd.input + "; name it with --format";
        return fmt;
    }
    if (!model.ReadFile(FolderOf(cmd.input), cmd.input, fmt)) {
        message = "Could not read " + cmd.input + " as " + FormatLabel(fmt);
        return INPUT_FILE_TYPE_UNKNOWN;
    }
    if (cmd.action != CCommandLine::BONDS || cmd.frame == 1)
        return fmt;
    const std::size_t frames = model.GetFrameCount();
    if (cmd.frame > frames) {
        message = cmd.input + " has " + std::to_string(frames) + " frame" + (frames == 1 ? "" : "s") + ", not " +
                  std::to_string(cmd.frame);
        return INPUT_FILE_TYPE_UNKNOWN;
    }
    if (!model.SetFrame(cmd.frame - 1)) {
        message = model.frame_message;
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
        const bool ok = ConvertFile(cmd.input, cmd.format, cmd.output, cmd.to_format, message, out);
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
        const std::string text = cmd.action == CCommandLine::INFO ? InfoReport(*model, FormatLabel(fmt))
                                                                  : BondReport(*model);
        std::fputs(text.c_str(), out);
        return 0;
    }
    case CCommandLine::BAD_USAGE:
    default:
        std::fprintf(err, "tesk: %s\n%s", cmd.message.c_str(), UsageText());
        return 2;
    }
}
