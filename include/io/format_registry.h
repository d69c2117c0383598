// Every structure format the program knows, in one table: its names, the
// file names it comes under, how its text is told from others, and its
// reader and writer. Lists of formats (the window's, the command line's) and
// the choice of reader and writer all come from here.
#ifndef TESK_IO_FORMAT_REGISTRY_H
#define TESK_IO_FORMAT_REGISTRY_H

#include <string>
#include <string_view>
#include <vector>

#include "io/structure.h"

namespace io {

// The codes of the first three are the ones the model has always used.
enum class Format : int {
    Xyz = 0,
    Vasp = 1,
    Pdb = 2,
    Cif = 10,
    Mmcif = 11,
    LammpsData = 12,
    LammpsDump = 13,
    VaspVolume = 14,  // CHGCAR, LOCPOT, ELFCAR, ...: a POSCAR and grids
    Cube = 15,        // Gaussian cube
    Unknown = 100,
    Auto = 101,
};

// The first lines of a file, as a sniffer sees them.
using HeadLines = std::vector<std::string_view>;

// Reads the text of one file (or of one frame of a trajectory). False with
// `refusal` filled when the text is not a structure of the format.
using ReadFunction = bool (*)(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal);
// Writes the structure as the format's text; false when it cannot hold it,
// with the reason in `why`.
using WriteFunction = bool (*)(const Structure& in, std::string& out, std::string& why);

struct FormatEntry {
    Format format;
    const char* name;        // what --format and --to take
    const char* label;       // what lists and messages show
    const char* extensions;  // blank-separated, lower case, with the dot
    // Blank-separated name starts (any case), e.g. POSCAR; one that ends in
    // a letter is not followed by another (CHG names CHG.1, not CHGNET).
    const char* prefixes;
    bool (*sniff)(const HeadLines& lines);
    // Null for the formats whose reader the model keeps as an object of its
    // own (XYZ, VASP, PDB): their readers hold what their writers write back.
    ReadFunction read;
    // Null where the model writes through such an object, or the format has
    // no writer.
    WriteFunction write;
    bool is_writable;
    bool has_frames;  // the trajectory index walks its frames
    // Values on a grid besides the atoms: the window shows them as surfaces;
    // `read` gives only the structure.
    bool is_volumetric = false;
};

// The table, in the order lists show it.
const std::vector<FormatEntry>& Formats();
// The entry of a format; null for Unknown, Auto or a code of none.
const FormatEntry* FindFormat(Format format);
const FormatEntry* FindFormat(int code);
// "XYZ", ..., "Auto", or "an unknown format".
const char* FormatLabel(Format format);
// --format/--to names in any case; Unknown for none.
Format FormatFromName(const std::string& name);
// "xyz, vasp, pdb, ..." for messages.
std::string FormatNames(bool writable_only);

// From the name alone (under a trailing .gz); Unknown when it tells nothing.
Format DetectByName(const std::string& path);
// From the first lines of a text.
Format DetectByContent(std::string_view text);
// By name first, then by the first lines of the file (through gzip when
// compressed); Unknown for an unreadable file or one like none of them.
Format Detect(const std::string& path);

// The format a load uses: `asked` itself, or for Auto the detected one.
Format Resolve(const std::string& path, Format asked);

// The name without a trailing ".gz" (any case); the path itself else.
std::string WithoutGz(const std::string& path);
bool IsGz(const std::string& path);

}  // namespace io

#endif
