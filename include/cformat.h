// Structure file formats seen from outside the readers: telling a file's
// format from its name or its text, the program's command line, and the
// conversion of one structure file into another without a window.
#ifndef TESK_CFORMAT_H
#define TESK_CFORMAT_H

#include <cstdio>
#include <map>
#include <string>

#include "cmodel.h"

// The format list's fourth entry: the reader is chosen from the file itself.
inline constexpr int INPUT_FILE_TYPE_AUTO = 101;

// The format table's label of a code, "Auto", or "an unknown format".
const char* FormatLabel(int code);
// A --format name (any case) to its code; INPUT_FILE_TYPE_UNKNOWN else.
int ParseFormatName(const std::string& name);
// From the name alone (see io::DetectByName). INPUT_FILE_TYPE_UNKNOWN when
// it tells nothing.
int DetectFormatByName(const std::string& path);
// From the first lines of a text (the format table's sniffers).
int DetectFormatByContent(const std::string& text);
// By name first, then by the file's first lines; INPUT_FILE_TYPE_UNKNOWN for
// an unreadable file or one that looks like none of the formats.
int DetectFormat(const std::string& path);
// The code a load uses: `fmt` itself, or the detected one for the Auto code.
int ResolveFormat(const std::string& path, int fmt);
// The folder part of a path ("." for a bare name), where a POTCAR is looked for.
std::string FolderOf(const std::string& path);

// The options of --render, as given: the renderer checks their values.
struct CRenderOptions {
    std::string size, view, background, bonds, labels, repeat;
    bool is_ortho = false, is_perspective = false;
};

// What the command line asks for.
struct CCommandLine {
    enum Action { RUN_VIEWER, SHOW_HELP, SHOW_VERSION, CONVERT, INFO, BONDS, RENDER, BAD_USAGE };
    Action action = RUN_VIEWER;
    std::string file;        // the viewer's start-up file; empty for none
    std::string input;       // --convert IN OUT
    std::string output;
    int format = INPUT_FILE_TYPE_AUTO;     // --format, for FILE or IN
    int to_format = INPUT_FILE_TYPE_AUTO;  // --to, for OUT
    std::map<int, unsigned> type_elements;  // --types: LAMMPS atom types to elements
    std::size_t frame = 1;   // --frame K for --bonds, counted from 1 as in the window
    CRenderOptions render;   // --render IN OUT
    std::string message;     // what is wrong with a BAD_USAGE line
    bool has_iso = false;    // --iso LEVEL: a volumetric IN becomes its surface at LEVEL
    double iso_level = 0.0;
};

CCommandLine ParseCommandLine(int argc, const char* const* argv);
const char* UsageText();
// "Tesk alpha 18.11(25)", the text the Settings window shows.
std::string VersionText();

// The command line's reading path (--convert, --info, --bonds, --render):
// reads `in` with format `in_fmt` (Auto: detected) into `model`. Returns the
// format read, or INPUT_FILE_TYPE_UNKNOWN with one line in `message` saying why.
int ReadInputFile(const std::string& in, int in_fmt, CModel& model, std::string& message);

// Reads `in` with format `in_fmt` (Auto: detected) and writes `out` with
// `out_fmt` (Auto: from the name of `out`); "-" writes to `standard_output`.
// On failure `message` holds one line saying why (for a refused input: the
// file, the line and the reason), and an existing `out` is left as it was;
// on success, the notes of the read and the save, if any. `options` carry
// what the user told the readers (--types).
bool ConvertFile(const std::string& in, int in_fmt, const std::string& out, int out_fmt, std::string& message,
                 std::FILE* standard_output = stdout, const io::ReadOptions& options = io::ReadOptions());

// Carries out a command line that opens no window: help, version, a
// conversion, a report or a usage error (--render is the caller's). Returns the exit status, or -1 when the
// viewer is to run.
int RunCommandLine(const CCommandLine& cmd, std::FILE* out, std::FILE* err);

#endif
