// The structure as its file holds it, kept beside the model's drawn atoms so
// that a save in the file's own format writes back all the file said (a
// VASP header, selective dynamics, PDB residues, CIF labels ...) with the
// edits made since. One kind per format family; the model sees only this
// interface, and its undo history keeps a copy's atoms as opaque values.
#ifndef TESK_IO_FILE_COPY_H
#define TESK_IO_FILE_COPY_H

#include <any>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <glm/glm.hpp>

#include "io/format_registry.h"
#include "io/structure.h"

namespace io {

// What one read hands the model besides the copy itself.
struct ReadResult {
    std::vector<glm::vec3> positions;  // Cartesian angstrom, as drawn before centring
    std::vector<unsigned> elements;
    glm::dvec3 low{0.0}, high{0.0};  // the extent the view takes in
    bool is_periodic = false;
    glm::dmat3 cell{1.0};
    glm::bvec3 periodic_axes{true};
    std::vector<int> type_numbers;  // LAMMPS atom types, for the window's table
    std::string note;
    Refusal refusal;
};

// How the frames of one save are laid out, for writers that wrap each frame.
struct FrameSlot {
    std::size_t number = 0;   // 0-based
    bool is_first = false;    // the first frame written: a header goes first
    bool is_several = false;  // the save holds several frames
};

class FileCopy {
public:
    virtual ~FileCopy() = default;

    virtual Format GetFormat() const = 0;
    // An empty copy of the same kind, for another frame of the same file.
    virtual std::unique_ptr<FileCopy> NewEmpty() const = 0;
    virtual std::unique_ptr<FileCopy> Clone() const = 0;

    // Reads the text of one structure (a whole file or one frame); `name`
    // names it in messages. On failure the copy is as it was and
    // out.refusal says why.
    virtual bool Read(std::string_view text, const ReadOptions& options, const std::string& name, ReadResult& out) = 0;
    // Every frame's positions when the file keeps them in one table (mmCIF
    // models): their count, 0 for a file read frame by frame, and frame k
    // read into this copy (an empty one of the same kind).
    virtual std::size_t HeldFrameCount() const { return 0; }
    virtual bool ReadHeldFrame(std::size_t k, ReadResult& out)
    {
        (void)k;
        (void)out;
        return false;
    }
    // Takes over what the file states only once (labels, listed bonds ...)
    // from the copy shown, after a frame was read and edited as it was.
    virtual void AdoptDetails(const FileCopy& shown) { (void)shown; }

    virtual std::size_t AtomCount() const = 0;
    // Cartesian angstrom as the file gives them, scale factors applied.
    virtual std::vector<glm::dvec3> Positions() const = 0;
    // The bonds the file lists (atom number pairs); they then stand for the
    // bond search.
    virtual const std::vector<glm::uvec2>& ListedBonds() const;
    // Labels, occupancies and listed bonds, for a writer of the table.
    virtual void AddDetails(Structure& s) const { (void)s; }

    // Edits. The values are opaque to all but the copy that made them:
    // TakeAtom(u) is undone by InsertAtom(u, value), a move of atom u by
    // SetPlace(u, PlaceOf(u) before it). Atom numbers past the copy change
    // nothing and give empty values.
    virtual std::any TakeAtom(std::size_t u) = 0;
    virtual void InsertAtom(std::size_t u, const std::any& atom) = 0;
    virtual std::any PlaceOf(std::size_t u) const = 0;
    virtual void SetPlace(std::size_t u, const std::any& place) = 0;
    // Moves atom u by whole cells of `cell`.
    virtual void MoveAtom(std::size_t u, const glm::ivec3& shift, const glm::dmat3& cell) = 0;
    // Puts the middle of the atoms' extent at the origin where the format
    // keeps free coordinates (XYZ): true, with the shift taken off in `by`.
    virtual bool Centre(glm::dvec3& by)
    {
        (void)by;
        return false;
    }
    // Moves an atom value kept by the history by `by`, as Centre moved the rest.
    virtual void ShiftAtom(std::any& atom, const glm::dvec3& by) const
    {
        (void)atom;
        (void)by;
    }

    // Appends the structure in the copy's own format with these elements
    // (one per atom); false with the reason in `why` when the format cannot
    // hold it.
    virtual bool AppendText(std::string& out, const std::vector<unsigned>& elements, const FrameSlot& slot,
                            std::string& why) const = 0;
};

// A file copy held by value: copying the holder copies the copy.
class HeldCopy {
public:
    HeldCopy() = default;
    HeldCopy(std::unique_ptr<FileCopy> copy) : copy_(std::move(copy)) {}
    HeldCopy(const HeldCopy& other) : copy_(other.copy_ ? other.copy_->Clone() : nullptr) {}
    HeldCopy(HeldCopy&&) noexcept = default;
    HeldCopy& operator=(const HeldCopy& other)
    {
        if (this != &other)
            copy_ = other.copy_ ? other.copy_->Clone() : nullptr;
        return *this;
    }
    HeldCopy& operator=(HeldCopy&&) noexcept = default;

    explicit operator bool() const { return copy_ != nullptr; }
    FileCopy* operator->() const { return copy_.get(); }
    FileCopy& operator*() const { return *copy_; }
    FileCopy* get() const { return copy_.get(); }

private:
    std::unique_ptr<FileCopy> copy_;
};

// A fresh copy for files of `format`; null for a format without one
// (volumetric data, unknown codes).
std::unique_ptr<FileCopy> NewFileCopy(Format format);

// An XYZ copy of atoms known only by their positions (a cube file's),
// written back as XYZ.
std::unique_ptr<FileCopy> NewXyzCopy(const std::vector<glm::dvec3>& positions);

}  // namespace io

#endif
