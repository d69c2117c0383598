// The file copies of each format family: the XYZ, VASP and PDB readers keep
// their own records; the formats of the table keep an io::Structure.
#include "io/file_copy.h"

#include <utility>

#include "io/pdb.h"
#include "io/vasp.h"
#include "io/xyz.h"
#include "core/elements.h"

namespace io {

const std::vector<glm::uvec2>& FileCopy::ListedBonds() const
{
    static const std::vector<glm::uvec2> none;
    return none;
}

namespace {

// An atom value of a copy, or null for one that is not of type T (a value
// kept for an atom past the copy's end is empty).
template <typename T>
const T* ValueOf(const std::any& atom)
{
    return std::any_cast<T>(&atom);
}

// The reader `R` behind the interface; each reads into a fresh reader and
// keeps it only when the whole text was read.
template <typename R>
class ReaderCopy : public FileCopy {
public:
    explicit ReaderCopy(Format format) : format_(format) {}
    Format GetFormat() const override { return format_; }
    std::size_t AtomCount() const override { return reader.v_carte_xyz.size(); }

    R reader;

protected:
    template <typename ReadText>
    bool ReadWith(ReadResult& out, ReadText read_text)
    {
        R fresh;
        if (!read_text(fresh)) {
            out.refusal = fresh.refusal;
            return false;
        }
        out.low = glm::dvec3(fresh.GetMinCoordinate());
        out.high = glm::dvec3(fresh.GetMaxCoordinate());
        out.is_periodic = fresh.is_periodic;
        out.cell = fresh.cell_xyz;
        out.note = fresh.note;
        reader = std::move(fresh);
        return true;
    }

    bool Has(std::size_t u) const { return u < reader.v_carte_xyz.size(); }

private:
    Format format_;
};

class XyzCopy : public ReaderCopy<CXyz> {
public:
    XyzCopy() : ReaderCopy(Format::Xyz) {}
    std::unique_ptr<FileCopy> NewEmpty() const override { return std::make_unique<XyzCopy>(); }
    std::unique_ptr<FileCopy> Clone() const override { return std::make_unique<XyzCopy>(*this); }

    bool Read(std::string_view text, const ReadOptions&, const std::string& name, ReadResult& out) override
    {
        const bool ok = ReadWith(out, [&](CXyz& r) { return r.ReadText(text, name, out.positions, out.elements); });
        if (ok)
            out.periodic_axes = reader.v_pbc;
        return ok;
    }
    std::vector<glm::dvec3> Positions() const override { return reader.v_carte_xyz; }

    std::any TakeAtom(std::size_t u) override
    {
        std::any atom = PlaceOf(u);
        reader.DeleteAtom(unsigned(u));
        return atom;
    }
    void InsertAtom(std::size_t u, const std::any& atom) override
    {
        if (const glm::dvec3* r = ValueOf<glm::dvec3>(atom))
            reader.InsertAtom(unsigned(u), *r);
    }
    std::any PlaceOf(std::size_t u) const override { return Has(u) ? std::any(reader.v_carte_xyz[u]) : std::any(); }
    void SetPlace(std::size_t u, const std::any& place) override
    {
        if (const glm::dvec3* r = ValueOf<glm::dvec3>(place); r && Has(u))
            reader.v_carte_xyz[u] = *r;
    }
    void MoveAtom(std::size_t u, const glm::ivec3& shift, const glm::dmat3& cell) override
    {
        if (Has(u))
            reader.v_carte_xyz[u] += cell * glm::dvec3(shift);
    }
    bool Centre(glm::dvec3& by) override
    {
        by = (reader.min_coord + reader.max_coord) * 0.5;
        reader.CenterCoordinates();
        return true;
    }
    void ShiftAtom(std::any& atom, const glm::dvec3& by) const override
    {
        if (glm::dvec3* r = std::any_cast<glm::dvec3>(&atom))
            *r += by;
    }
    bool AppendText(std::string& out, const std::vector<unsigned>& elements, const FrameSlot&,
                    std::string&) const override
    {
        return reader.AppendText(out, elements);
    }
};

class VaspCopy : public ReaderCopy<CVasp> {
public:
    VaspCopy() : ReaderCopy(Format::Vasp) {}
    std::unique_ptr<FileCopy> NewEmpty() const override { return std::make_unique<VaspCopy>(); }
    std::unique_ptr<FileCopy> Clone() const override { return std::make_unique<VaspCopy>(*this); }

    bool Read(std::string_view text, const ReadOptions& options, const std::string&, ReadResult& out) override
    {
        return ReadWith(out, [&](CVasp& r) { return r.ReadText(options.folder, text, out.positions, out.elements); });
    }
    std::vector<glm::dvec3> Positions() const override
    {
        std::vector<glm::dvec3> r = reader.v_carte_xyz;
        // Cartesian numbers are kept as written; VASP scales them
        if (!reader.is_direct)
            for (glm::dvec3& x : r)
                x *= reader.parameter;
        return r;
    }

    std::any TakeAtom(std::size_t u) override
    {
        if (!Has(u))
            return {};
        const CVaspAtom atom = reader.GetAtom(unsigned(u));
        reader.DeleteAtom(unsigned(u));
        return atom;
    }
    void InsertAtom(std::size_t u, const std::any& atom) override
    {
        if (const CVaspAtom* a = ValueOf<CVaspAtom>(atom))
            reader.InsertAtom(unsigned(u), *a);
    }
    std::any PlaceOf(std::size_t u) const override
    {
        return Has(u) ? std::any(reader.GetAtom(unsigned(u))) : std::any();
    }
    void SetPlace(std::size_t u, const std::any& place) override
    {
        const CVaspAtom* a = ValueOf<CVaspAtom>(place);
        if (a == nullptr || !Has(u))
            return;
        reader.v_carte_xyz[u] = a->carte;
        if (a->has_fract && u < reader.v_fract_xyz.size())
            reader.v_fract_xyz[u] = a->fract;
    }
    void MoveAtom(std::size_t u, const glm::ivec3& shift, const glm::dmat3& cell) override
    {
        if (!Has(u))
            return;
        const glm::dvec3 t = cell * glm::dvec3(shift);
        if (reader.is_direct && u < reader.v_fract_xyz.size()) {
            reader.v_fract_xyz[u] += glm::dvec3(shift);
            reader.v_carte_xyz[u] += t;
        } else {
            // Cartesian numbers are kept as written, before the scale
            reader.v_carte_xyz[u] += t / (reader.parameter != 0.0 ? reader.parameter : 1.0);
        }
    }
    bool AppendText(std::string& out, const std::vector<unsigned>& elements, const FrameSlot&,
                    std::string&) const override
    {
        // on a copy: the writer adds the species edits brought in to its
        // table, and what is saved must depend only on what is shown
        CVasp writer = reader;
        return writer.AppendText(out, elements);
    }
};

// A PDB atom: its position and, when the file gave them, its details.
struct PdbAtomValue {
    glm::vec3 position{0.0f};
    bool has_details = false;
    CPdbAtom details;
};

class PdbCopy : public ReaderCopy<CPdb> {
public:
    PdbCopy() : ReaderCopy(Format::Pdb) {}
    std::unique_ptr<FileCopy> NewEmpty() const override { return std::make_unique<PdbCopy>(); }
    std::unique_ptr<FileCopy> Clone() const override { return std::make_unique<PdbCopy>(*this); }

    bool Read(std::string_view text, const ReadOptions&, const std::string&, ReadResult& out) override
    {
        return ReadWith(out, [&](CPdb& r) { return r.ReadText(text, out.positions, out.elements); });
    }
    std::vector<glm::dvec3> Positions() const override
    {
        return std::vector<glm::dvec3>(reader.v_carte_xyz.begin(), reader.v_carte_xyz.end());
    }

    std::any TakeAtom(std::size_t u) override
    {
        if (!Has(u))
            return {};
        PdbAtomValue a;
        a.position = reader.v_carte_xyz[u];
        a.has_details = reader.v_atom_info.size() == reader.v_carte_xyz.size();
        if (a.has_details)
            a.details = reader.v_atom_info[u];
        reader.DeleteAtom(unsigned(u));
        return a;
    }
    void InsertAtom(std::size_t u, const std::any& atom) override
    {
        if (const PdbAtomValue* a = ValueOf<PdbAtomValue>(atom))
            reader.InsertAtom(unsigned(u), a->position, a->has_details ? &a->details : nullptr);
    }
    std::any PlaceOf(std::size_t u) const override { return Has(u) ? std::any(reader.v_carte_xyz[u]) : std::any(); }
    void SetPlace(std::size_t u, const std::any& place) override
    {
        if (const glm::vec3* r = ValueOf<glm::vec3>(place); r && Has(u))
            reader.v_carte_xyz[u] = *r;
    }
    void MoveAtom(std::size_t u, const glm::ivec3& shift, const glm::dmat3& cell) override
    {
        if (Has(u))
            reader.v_carte_xyz[u] += glm::vec3(cell * glm::dvec3(shift));
    }
    bool AppendText(std::string& out, const std::vector<unsigned>& elements, const FrameSlot& slot,
                    std::string& why) const override
    {
        return AppendPdbFrame(reader, out, elements, slot, why);
    }
};

// What the table's formats hold only once, with the first frame: every
// frame's positions when the file keeps them in one table, and the cell.
struct HeldFrames {
    std::vector<std::vector<glm::dvec3>> positions;
    bool is_periodic = false;
    glm::dmat3 cell{1.0};
};

// An atom of a table format, with the bonds the file listed for it.
struct TableAtomValue {
    glm::dvec3 position{0.0};
    bool has_element = false, has_label = false, has_occupancy = false;
    unsigned element = 0;
    std::string label;
    float occupancy = 1.0f;
    std::vector<glm::uvec2> bonds;
};

// The formats read through the table's functions (CIF, mmCIF, LAMMPS).
class TableCopy : public FileCopy {
public:
    explicit TableCopy(const FormatEntry& entry, std::shared_ptr<const HeldFrames> held = nullptr)
        : entry_(entry), held_(std::move(held))
    {
    }
    Format GetFormat() const override { return entry_.format; }
    std::unique_ptr<FileCopy> NewEmpty() const override { return std::make_unique<TableCopy>(entry_, held_); }
    std::unique_ptr<FileCopy> Clone() const override { return std::make_unique<TableCopy>(*this); }

    bool Read(std::string_view text, const ReadOptions& options, const std::string&, ReadResult& out) override
    {
        Structure s;
        if (entry_.read == nullptr || !entry_.read(text, options, s, out.refusal))
            return false;
        std::shared_ptr<HeldFrames> held;
        if (!s.extra_frames.empty()) {
            held = std::make_shared<HeldFrames>();
            held->positions.reserve(s.extra_frames.size() + 1);
            held->positions.push_back(s.positions);
            for (auto& frame : s.extra_frames)
                held->positions.push_back(std::move(frame));
            s.extra_frames.clear();
            held->is_periodic = s.is_periodic;
            held->cell = s.cell;
        }
        Take(std::move(s), out);
        held_ = std::move(held);
        return true;
    }
    std::size_t HeldFrameCount() const override { return held_ ? held_->positions.size() : 0; }
    bool ReadHeldFrame(std::size_t k, ReadResult& out) override
    {
        if (!held_ || k >= held_->positions.size())
            return false;
        Structure s;
        s.positions = held_->positions[k];
        s.elements.assign(s.positions.size(), DUMMY_ATOM_INDEX);
        s.is_periodic = held_->is_periodic;
        s.cell = held_->cell;
        Take(std::move(s), out);
        return true;
    }
    void AdoptDetails(const FileCopy& shown) override
    {
        const auto* table = dynamic_cast<const TableCopy*>(&shown);
        if (table == nullptr)
            return;
        // labels, occupancies and listed bonds stay those of the shown atoms
        structure_.labels = table->structure_.labels;
        structure_.occupancies = table->structure_.occupancies;
        structure_.bonds = table->structure_.bonds;
    }

    std::size_t AtomCount() const override { return structure_.positions.size(); }
    std::vector<glm::dvec3> Positions() const override { return structure_.positions; }
    const std::vector<glm::uvec2>& ListedBonds() const override { return structure_.bonds; }
    void AddDetails(Structure& s) const override
    {
        s.labels = structure_.labels;
        s.occupancies = structure_.occupancies;
        s.bonds = structure_.bonds;
    }

    std::any TakeAtom(std::size_t u) override;
    void InsertAtom(std::size_t u, const std::any& atom) override;
    std::any PlaceOf(std::size_t u) const override
    {
        return u < structure_.positions.size() ? std::any(structure_.positions[u]) : std::any();
    }
    void SetPlace(std::size_t u, const std::any& place) override
    {
        if (const glm::dvec3* r = ValueOf<glm::dvec3>(place); r && u < structure_.positions.size())
            structure_.positions[u] = *r;
    }
    void MoveAtom(std::size_t u, const glm::ivec3& shift, const glm::dmat3& cell) override
    {
        if (u < structure_.positions.size())
            structure_.positions[u] += cell * glm::dvec3(shift);
    }
    bool AppendText(std::string& out, const std::vector<unsigned>& elements, const FrameSlot&,
                    std::string& why) const override
    {
        if (entry_.write == nullptr || elements.size() != structure_.positions.size())
            return false;
        Structure s = structure_;
        s.elements = elements;
        return entry_.write(s, out, why);
    }

private:
    // Keeps the structure read and hands the model its part.
    void Take(Structure&& s, ReadResult& out)
    {
        out.positions.resize(s.positions.size());
        if (!s.positions.empty())
            out.low = out.high = s.positions[0];
        for (std::size_t i = 0; i < s.positions.size(); ++i) {
            out.positions[i] = glm::vec3(s.positions[i]);
            out.low = glm::min(out.low, s.positions[i]);
            out.high = glm::max(out.high, s.positions[i]);
        }
        out.elements = s.elements;
        out.is_periodic = s.is_periodic;
        out.cell = s.cell;
        out.type_numbers = s.type_numbers;
        out.note = s.note;
        structure_ = std::move(s);
    }

    const FormatEntry& entry_;
    std::shared_ptr<const HeldFrames> held_;
    Structure structure_;
};

std::any TableCopy::TakeAtom(std::size_t u)
{
    Structure& s = structure_;
    if (u >= s.positions.size())
        return {};
    TableAtomValue a;
    a.position = s.positions[u];
    s.positions.erase(s.positions.begin() + std::ptrdiff_t(u));
    if ((a.has_element = u < s.elements.size())) {
        a.element = s.elements[u];
        s.elements.erase(s.elements.begin() + std::ptrdiff_t(u));
    }
    if ((a.has_label = u < s.labels.size())) {
        a.label = std::move(s.labels[u]);
        s.labels.erase(s.labels.begin() + std::ptrdiff_t(u));
    }
    if ((a.has_occupancy = u < s.occupancies.size())) {
        a.occupancy = s.occupancies[u];
        s.occupancies.erase(s.occupancies.begin() + std::ptrdiff_t(u));
    }
    // the file's bonds of the atom go with it; the others are renumbered
    std::vector<glm::uvec2> kept;
    for (glm::uvec2 b : s.bonds) {
        if (b.x == u || b.y == u) {
            a.bonds.push_back(b);
            continue;
        }
        if (b.x > u)
            --b.x;
        if (b.y > u)
            --b.y;
        kept.push_back(b);
    }
    s.bonds.swap(kept);
    return a;
}

void TableCopy::InsertAtom(std::size_t u, const std::any& atom)
{
    Structure& s = structure_;
    const TableAtomValue* a = ValueOf<TableAtomValue>(atom);
    if (a == nullptr || u > s.positions.size())
        return;
    const auto at = std::ptrdiff_t(u);
    s.positions.insert(s.positions.begin() + at, a->position);
    if (a->has_element && u <= s.elements.size())
        s.elements.insert(s.elements.begin() + at, a->element);
    if (a->has_label && u <= s.labels.size())
        s.labels.insert(s.labels.begin() + at, a->label);
    if (a->has_occupancy && u <= s.occupancies.size())
        s.occupancies.insert(s.occupancies.begin() + at, a->occupancy);
    for (glm::uvec2& b : s.bonds) {
        if (b.x >= u)
            ++b.x;
        if (b.y >= u)
            ++b.y;
    }
    s.bonds.insert(s.bonds.end(), a->bonds.begin(), a->bonds.end());
}

}  // namespace

std::unique_ptr<FileCopy> NewXyzCopy(const std::vector<glm::dvec3>& positions)
{
    auto copy = std::make_unique<XyzCopy>();
    CXyz& r = copy->reader;
    r.v_carte_xyz = positions;
    r.total_atoms = unsigned(positions.size());
    if (!positions.empty())
        r.min_coord = r.max_coord = positions[0];
    for (const glm::dvec3& p : positions) {
        r.min_coord = glm::min(r.min_coord, p);
        r.max_coord = glm::max(r.max_coord, p);
    }
    return copy;
}

std::unique_ptr<FileCopy> NewFileCopy(Format format)
{
    switch (format) {
    case Format::Xyz:
        return std::make_unique<XyzCopy>();
    case Format::Vasp:
        return std::make_unique<VaspCopy>();
    case Format::Pdb:
        return std::make_unique<PdbCopy>();
    default:
        break;
    }
    const FormatEntry* entry = FindFormat(format);
    if (entry == nullptr || entry->read == nullptr)
        return nullptr;
    return std::make_unique<TableCopy>(*entry);
}

}  // namespace io
