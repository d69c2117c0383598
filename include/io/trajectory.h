// The frames of a structure file: concatenated XYZ frames, the
// configurations of a VASP XDATCAR, the MODEL records of a PDB file, the
// timesteps of a LAMMPS dump; gzip-compressed too (read by streaming). Only
// the byte offset of each frame is kept; a frame's text is read from the
// file when it is asked for, so a file larger than memory can be stepped
// through. The index is built a slice at a time (IndexStep), so that the
// first frame can be shown before the whole file was seen.
#ifndef TESK_IO_TRAJECTORY_H
#define TESK_IO_TRAJECTORY_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/text_source.h"

class CTrajectory {
public:
    CTrajectory() = default;
    ~CTrajectory();
    // a copy reads the same file through a descriptor of its own
    CTrajectory(const CTrajectory& other);
    CTrajectory& operator=(const CTrajectory& other);
    CTrajectory(CTrajectory&& other) noexcept;
    CTrajectory& operator=(CTrajectory&& other) noexcept;

    // Opens the regular file `path` (a .gz name: decompressed as it is
    // read) with format code `fmt` (an io::Format) and finds
    // the extent of its first frame. False for a file that cannot be read.
    bool Open(const std::string& path, int fmt);
    void Close();
    // Looks at about `bytes` more of the file; true once the index is whole.
    bool IndexStep(std::size_t bytes);
    bool IsIndexed() const { return is_indexed; }
    // Frames found so far (the whole count once IsIndexed()).
    std::size_t GetIndexedFrames() const;
    // The count of the whole file: finishes the index first.
    std::size_t GetFrameCount();
    // The text of frame k as a file of one structure: the frame's bytes,
    // behind the file's header when the frame does not carry its own. Indexes
    // as far as needed. False for a frame that does not exist, a read error
    // or a line longer than MAX_LINE, which is refused as soon as it is met
    // (with the reason in `why`), so that memory does not follow its length.
    bool ReadFrameText(std::size_t k, std::string& out, std::string* why = nullptr);

    // No line of a structure file comes near this; a longer one (a file
    // without line feeds, a tail of zeros left by a crash) ends the frames.
    static constexpr std::size_t MAX_LINE = std::size_t(1) << 20;

    std::string path;
    int file_format = 0;
    // bytes [0, u_header_size) lead every frame that has no header of its own
    std::uint64_t u_header_size = 0;
    std::uint64_t u_file_size = 0;
    // where the frames stop: the end of the file, or the first text that
    // starts no frame
    std::uint64_t u_frames_end = 0;
    // atoms per frame of an XDATCAR, from its counts line
    std::uint64_t u_vasp_atoms = 0;
    std::vector<std::uint64_t> v_frame_start;
    bool is_indexed = false;
    // why the frames end before the file does; empty when they do not
    std::string note;

private:
    // The line starting at `at` (without its line feed) into `line`; `next`
    // receives the offset after it. False at the end of the file and for a
    // line longer than MAX_LINE.
    bool LineAt(std::uint64_t at, std::string& line, std::uint64_t& next);
    // Offset after `count` more lines from `at`; false when the file ends
    // first or a line is longer than MAX_LINE.
    bool SkipLines(std::uint64_t at, std::uint64_t count, std::uint64_t& next);
    bool Fill(std::uint64_t at);
    // Up to `size` bytes at `at`; a gzip file learns its size at its end.
    long long ReadAt(std::uint64_t at, char* to, std::size_t size);
    bool IsOpen() const { return fd_ >= 0 || gz_ != nullptr; }
    // Finds the start of the next frame from scan_, the start of the last one.
    bool ScanFrame();
    void Finish(std::uint64_t end);

    int fd_ = -1;
    std::unique_ptr<io::GzInput> gz_;  // instead of fd_ for a .gz file
    std::uint64_t scan_ = 0;           // start of the last frame found, still to be walked
    std::string buffer_;
    std::uint64_t buffer_at_ = 0;  // file offset of buffer_[0]
};

#endif
