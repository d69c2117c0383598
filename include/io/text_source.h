// The text of an input file, plain or gzip-compressed, and the small
// word-level helpers the new format readers share.
#ifndef TESK_IO_TEXT_SOURCE_H
#define TESK_IO_TEXT_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/structure.h"

namespace io {

// The folder part of a path ("." for a bare name), where a POTCAR is looked for.
std::string FolderOf(const std::string& path);

// False with the reason for a path that is missing, a folder, no regular
// file (a FIFO would block) or not readable.
bool CheckInput(const std::string& path, Refusal& refusal);
// Reads a regular file whole; a name ending in .gz is decompressed. False
// with the reason for a missing, unreadable, non-regular or broken file.
bool ReadInput(const std::string& path, std::string& out, Refusal& refusal);
// At most `bytes` of the (decompressed) start of the file.
bool ReadInputHead(const std::string& path, std::size_t bytes, std::string& out);

// A gzip file read as if it were the plain text: reads at any offset of the
// decompressed text. Forward reads stream; a read behind the last one starts
// over from the beginning, so that only the part asked for is ever held.
class GzInput {
public:
    GzInput() = default;
    ~GzInput();
    GzInput(const GzInput&) = delete;
    GzInput& operator=(const GzInput&) = delete;

    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    // Up to `size` bytes at decompressed offset `at`; fewer at the end, -1 on
    // a broken file.
    long long ReadAt(std::uint64_t at, char* to, std::size_t size);
    bool IsAtEnd() const { return at_end_; }

private:
    void* file_ = nullptr;  // a gzFile
    std::uint64_t position_ = 0;
    bool at_end_ = false;
};

// The blank-separated words of a line.
void SplitWords(std::string_view line, std::vector<std::string_view>& words);
// A word that is wholly a number.
bool ParseDouble(std::string_view word, double& value);
bool ParseLong(std::string_view word, long long& value);
// The line with leading and trailing blanks (and a carriage return) cut.
std::string_view Trim(std::string_view line);
std::string Lower(std::string_view text);

}  // namespace io

#endif
