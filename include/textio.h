// Small text helpers shared by the structure readers and writers: a whole
// file read into memory, a line cursor over it, and an atomic file write.
#ifndef TESK_TEXTIO_H
#define TESK_TEXTIO_H

#include <cstddef>
#include <string>
#include <string_view>

namespace textio {

// Reads the regular file at `path` into `out`. False for a missing or
// unreadable file, a directory or any other non-regular file.
bool ReadWholeFile(const std::string& path, std::string& out);

// Walks the lines of a text held in memory. A line ends at a line feed,
// which is removed; nothing else is (a carriage return stays in the line).
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}
    // False at the end of the text. A last line without a line feed counts.
    bool Next(std::string_view& line);
    bool AtEnd() const { return pos_ >= text_.size(); }
    std::size_t LineNumber() const { return line_number_; }  // 1-based number of the last line returned
    std::size_t Remaining() const { return text_.size() - pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_number_ = 0;
};

// White space as scanf skips it.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads one number as scanf's "%lf" and "%f" do, but only inside [p, end):
// leading white space, an optional sign, then the longest decimal or 0x
// hexadecimal number, a Fortran exponent D or d counting as E; overflow
// gives infinity and underflow zero, as strtod does. `p` moves past the number. False when no number starts there.
template <typename T>
bool ScanNumber(const char*& p, const char* end, T& value);

// Appends `value` as printf's "%*.*f" writes it, right-aligned in `width`
// characters (the same digits as printf, much faster for a million atoms).
// With `separate`, a positive number that fills its field gets one blank
// before it: run into the number before, it would read back as another
// number (a negative one is told apart by its sign). False if the number
// does not fit the conversion buffer.
bool AppendFixed(std::string& out, double value, int width, int decimals, bool separate);

// Writes `content` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`, so that a failed write never destroys an existing
// file. A symbolic link is followed: its target is replaced, the link stays.
// An existing file keeps its permission bits.
bool WriteFileAtomically(const std::string& path, const std::string& content);

// A piece of a line for a message: in double quotes, without its outer
// blanks, cut to about 60 characters.
std::string Quoted(std::string_view text);

// Appends a line read from a file and a line feed; a carriage return it
// ended with is dropped, so that a saved file has one kind of line end.
void AppendLine(std::string& out, std::string_view line);

}  // namespace textio

#endif
