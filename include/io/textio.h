// Small text helpers shared by the structure readers and writers: a whole
// file read into memory, a line cursor over it, and an atomic file write.
#ifndef TESK_IO_TEXTIO_H
#define TESK_IO_TEXTIO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace textio {

// Reads the regular file at `path` into `out`. False for a missing or
// unreadable file, a directory or any other non-regular file.
bool ReadWholeFile(const std::string& path, std::string& out);

// Reads at most `most` bytes from the start of the regular file at `path`.
// Anything else (a FIFO, a device, a folder) is refused before it is opened
// for reading, so that no read can wait for a writer.
bool ReadFileHead(const std::string& path, std::size_t most, std::string& out);

// Opens a regular file for reading, with its size: the descriptor, or -1
// for a missing file or anything else (a FIFO is opened without waiting for
// a writer and refused like a device or a folder).
int OpenRegularFile(const std::string& path, std::uint64_t& size);

// True when `path` names a regular file (a link to one counts).
bool IsRegularFile(const std::string& path);

// A UTF-8 byte-order mark some editors put at the start of a text.
inline constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
inline std::size_t ByteOrderMarkSize(std::string_view text)
{
    return text.substr(0, BYTE_ORDER_MARK.size()) == BYTE_ORDER_MARK ? BYTE_ORDER_MARK.size() : 0;
}
inline std::string_view SkipByteOrderMark(std::string_view text)
{
    return text.substr(ByteOrderMarkSize(text));
}

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
inline bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
// White space inside one line (a line feed never occurs there).
inline bool IsBlank(char c)
{
    return c != '\n' && IsSpace(c);
}

// The first blank-separated word of a line, as "%s" takes it; empty for a
// blank line.
std::string_view FirstWord(std::string_view line);

// A count line read as "%i" reads it: leading blanks, a sign, base 8 for a
// leading 0 and base 16 for 0x, whatever follows the number ignored. False
// when no number starts the line or it does not fit an int.
bool ParseCountLine(std::string_view line, long& count);

// Reads one number as scanf's "%lf" and "%f" do, but only inside [p, end):
// leading white space, an optional sign, then the longest decimal or 0x
// hexadecimal number, a Fortran exponent D or d counting as E; overflow
// gives infinity and underflow zero, as strtod does. `p` moves past the number. False when no number starts there.
template <typename T>
bool ScanNumber(const char*& p, const char* end, T& value);

// Appends the shortest text that reads back to `value`: for a value that is
// exactly a float (positions kept in single precision), the shortest text of
// that float, else of the double. Right-aligned in `width` characters, with
// one blank before it when it fills the field and `separate` is set.
void AppendShortest(std::string& out, double value, int width, bool separate);

// Writes `content` to a temporary file beside `path`, flushes it and the
// folder to disk and renames it over `path`, so that a failed write never
// destroys an existing file. A symbolic link is followed: its target is
// replaced, the link stays. An existing file keeps its permission bits. A
// target that exists and is no regular file (a device, a FIFO, a folder) or
// that may not be written is refused. Scratch files of earlier saves that
// were killed are removed from the folder. On failure `why` (when given)
// says why in a few words.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* why = nullptr);

// Whether a file name is one of the scratch names WriteFileAtomically uses.
bool IsScratchName(std::string_view name);

// A piece of a line for a message: in double quotes, without its outer
// blanks, cut to about 60 characters.
std::string Quoted(std::string_view text);

// Appends a line read from a file and a line feed; a carriage return it
// ended with is dropped, so that a saved file has one kind of line end.
void AppendLine(std::string& out, std::string_view line);

}  // namespace textio

#endif
