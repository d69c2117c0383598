// Volumetric data on a grid: VASP volumetric files (CHGCAR, CHG, PARCHG,
// AECCAR*, LOCPOT, ELFCAR) and Gaussian cube files, with the structure they
// come with. Values are floats, four bytes each; the text is parsed on every
// core at once.
//
// Grid layout: point (i, j, k) is value i + nx * (j + ny * k), axis 0
// fastest, as VASP writes it. A cube file writes its third axis fastest:
// its axes are taken in reverse order, so its values keep their file order.
#ifndef TESK_IO_VOLUME_H
#define TESK_IO_VOLUME_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <glm/glm.hpp>

#include "io/structure.h"

namespace io {

enum class VolumeKind { None, Vasp, Cube };

struct VolumeGrid {
    std::string name;           // "total", "magnetisation", "orbital 12", ...
    std::vector<float> values;  // size.x * size.y * size.z
};

struct Volume {
    VolumeKind kind = VolumeKind::None;
    glm::ivec3 size{0};        // points along each axis
    glm::dmat3 voxel{1.0};     // columns: from one point to the next along each axis, in A
    glm::dvec3 origin{0.0};    // where point (0, 0, 0) lies, in A
    bool is_periodic = false;  // VASP: point size[a] is point 0 again, one cell on
    glm::dmat3 cell{1.0};      // columns: the cell (VASP) or the grid's box (cube)
    // VASP charge files store value x cell volume; those are divided back,
    // so that levels are in e/A^3. LOCPOT and ELFCAR values are as written.
    bool is_volume_scaled = false;
    const char* unit = "";
    std::vector<VolumeGrid> grids;
    // the structure: Cartesian A, element indices
    std::vector<glm::dvec3> positions;
    std::vector<unsigned> elements;
    // VASP: the text of the structure part, a POSCAR of its own
    std::string structure_text;

    std::size_t Points() const { return std::size_t(size.x) * std::size_t(size.y) * std::size_t(size.z); }
};

// CHGCAR*, CHG*, PARCHG*, AECCAR*, LOCPOT*, ELFCAR* are VASP files, *.cube
// and *.cub cube files: the format table tells them by name and content.

// Reads the text of a volumetric file of `kind`. `path` names the file
// (LOCPOT and ELFCAR values are not divided by the volume) and its folder,
// where a POTCAR is looked for. False, with the reason, for a text that is
// not one.
bool ReadVolumeText(std::string_view text, VolumeKind kind, const std::string& path, Volume& out, Refusal& refusal);
bool ReadVolumeFile(const std::string& path, VolumeKind kind, Volume& out, Refusal& refusal);

// The structure of a volumetric text alone, its grid not parsed (only its
// sizes line looked at): the format table's readers, for the command line's
// reports and pictures.
bool ReadVaspVolumeStructure(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal);
bool ReadCubeStructure(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal);

// Sizes `values` to `count`, in huge pages where the system gives them: on a
// machine whose page faults are slow, faulting in a grid 4 KiB at a time
// costs as much as parsing a third of it.
void SizeValues(std::vector<float>& values, std::size_t count);

// Parses `count` numbers of a grid from [begin, end) into `out`, each times
// `scale`, the text split over the cores. Stops after the last number; `stop`
// is where it stopped. False, with `fail` where it went wrong, for a text
// that holds fewer numbers or a value that is not a finite number.
bool ParseGridNumbers(const char* begin, const char* end, std::size_t count, float scale, float* out, const char*& stop,
                      const char*& fail);

}  // namespace io

#endif
