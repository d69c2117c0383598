// The numbers of a grid, parsed on every core at once: the text split at
// line starts where a grid of numbers of one width would put them, each
// part parsed into a store of its own, then joined.
#include "io/volume.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

#include <sys/mman.h>

#include "io/textio.h"

namespace io {

namespace {

using textio::IsSpace;

// Below this many values one core parses faster than two start up.
constexpr std::size_t PARALLEL_VALUES = 1 << 16;

struct Chunk {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::size_t count = 0;
    const char* stop = nullptr;   // where the scan ended
    const char* after = nullptr;  // just after the last number
    bool bad_value = false;       // a word that starts like a number, or an infinite one
    std::vector<float> own;       // chunks after the first parse into their own store
};

// Numbers from `c.begin` until `limit` of them, the chunk's end, a word that
// is no number, or a blank line (a grid never holds one: the next block starts).
void ParseChunk(Chunk& c, std::size_t limit, float scale, float* out)
{
    const char* p = c.begin;
    const char* const end = c.end;
    std::size_t n = 0;
    c.after = p;
    while (n < limit) {
        bool newline = false;
        while (p < end && IsSpace(*p)) {
            if (*p == '\n') {
                if (newline) {
                    c.count = n;
                    c.stop = p;
                    return;
                }
                newline = true;
            }
            ++p;
        }
        if (p >= end)
            break;
        float v;
        const char* q = p;
        // the plain form at full speed; a sign '+', a Fortran D exponent
        // or a hexadecimal number through the general scanner
        const auto r = std::from_chars(p, end, v);
        if (r.ec == std::errc() && (r.ptr >= end || IsSpace(*r.ptr)))
            q = r.ptr;
        else if (!textio::ScanNumber(q, end, v))
            break;
        if ((q < end && !IsSpace(*q)) || !std::isfinite(v)) {
            c.bad_value = true;
            break;
        }
        out[n++] = v * scale;
        p = c.after = q;
    }
    c.count = n;
    c.stop = p;
}

bool ParseSerially(const char* begin, const char* end, std::size_t count, float scale, float* out, const char*& stop,
                   const char*& fail)
{
    Chunk c;
    c.begin = begin;
    c.end = end;
    ParseChunk(c, count, scale, out);
    stop = c.after;
    fail = c.stop;
    return c.count == count && !c.bad_value;
}

}  // namespace

void SizeValues(std::vector<float>& values, std::size_t count)
{
    values.reserve(count);
    constexpr std::uintptr_t HUGE_PAGE = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(values.data()) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(values.data() + count) & ~(HUGE_PAGE - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    values.resize(count);
}

bool ParseGridNumbers(const char* begin, const char* end, std::size_t count, float scale, float* out, const char*& stop,
                      const char*& fail)
{
    unsigned cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    if (count < PARALLEL_VALUES || cores < 2)
        return ParseSerially(begin, end, count, scale, out, stop, fail);

    // Where the grid ends, guessed from the first full line: VASP and cube
    // files write numbers of one width, a fixed count to a line.
    const char* first_end = static_cast<const char*>(std::memchr(begin, '\n', std::size_t(end - begin)));
    const char* second_end =
        first_end ? static_cast<const char*>(std::memchr(first_end + 1, '\n', std::size_t(end - first_end - 1)))
                  : nullptr;
    if (!second_end)
        return ParseSerially(begin, end, count, scale, out, stop, fail);
    Chunk line;
    line.begin = first_end + 1;
    line.end = second_end;
    float on_line[16];
    ParseChunk(line, 16, 1.0f, on_line);
    const std::size_t per_line = line.count;
    if (per_line == 0 || line.bad_value)
        return ParseSerially(begin, end, count, scale, out, stop, fail);
    const double bytes_per_value = double(second_end - first_end) / double(per_line);
    const char* guess_end = begin + std::size_t(std::min(double(end - begin), bytes_per_value * double(count)));

    // chunk boundaries at line starts
    std::vector<Chunk> chunks;
    const char* at = begin;
    for (unsigned k = 1; k <= cores; ++k) {
        const char* next = end;
        if (k < cores) {
            const char* cut = begin + std::size_t(double(guess_end - begin) * k / cores);
            const char* nl =
                cut < end ? static_cast<const char*>(std::memchr(cut, '\n', std::size_t(end - cut))) : nullptr;
            next = nl ? nl + 1 : end;
        }
        if (next <= at)
            continue;
        Chunk c;
        c.begin = at;
        c.end = next;
        chunks.push_back(std::move(c));
        at = next;
        if (at >= end)
            break;
    }
    if (chunks.size() < 2)
        return ParseSerially(begin, end, count, scale, out, stop, fail);

    auto work = [&](std::size_t k) {
        Chunk& c = chunks[k];
        if (k == 0) {
            ParseChunk(c, count, scale, out);
            return;
        }
        const double expected = double(c.end - c.begin) / bytes_per_value;
        const std::size_t limit = count;
        SizeValues(c.own, std::min<std::size_t>(limit, std::size_t(expected * 1.05) + 1024));
        ParseChunk(c, c.own.size(), scale, c.own.data());
        // a chunk that held more numbers than guessed goes on in a larger store
        while (c.count == c.own.size() && c.count < limit && c.stop < c.end && !c.bad_value) {
            Chunk rest;
            rest.begin = c.stop;
            rest.end = c.end;
            const std::size_t done = c.count;
            c.own.resize(std::min(limit, done * 2));
            ParseChunk(rest, c.own.size() - done, scale, c.own.data() + done);
            c.count = done + rest.count;
            c.stop = rest.stop;
            c.after = rest.after;
            c.bad_value = rest.bad_value;
        }
    };
    std::vector<std::thread> threads;
    try {
        for (std::size_t k = 1; k < chunks.size(); ++k)
            threads.emplace_back(work, k);
    } catch (const std::exception&) {
        for (std::thread& t : threads)
            t.join();
        return ParseSerially(begin, end, count, scale, out, stop, fail);
    }
    work(0);
    for (std::thread& t : threads)
        t.join();

    std::size_t offset = 0;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        Chunk& c = chunks[k];
        const bool whole = c.stop >= c.end || (k + 1 < chunks.size() && c.stop == chunks[k + 1].begin);
        if (offset + c.count >= count) {
            if (offset + c.count == count && !c.bad_value) {
                if (k > 0)
                    std::memcpy(out + offset, c.own.data(), c.count * sizeof(float));
                stop = c.after;
                fail = c.stop;
                return true;
            }
            // the grid ends inside this chunk: the numbers after it belong to what follows
            Chunk last;
            last.begin = c.begin;
            last.end = c.end;
            ParseChunk(last, count - offset, scale, out + offset);
            stop = last.after;
            fail = last.stop;
            return last.count == count - offset && !last.bad_value;
        }
        if (k > 0)
            std::memcpy(out + offset, c.own.data(), c.count * sizeof(float));
        offset += c.count;
        if (!whole || c.bad_value) {
            stop = fail = c.stop;
            return false;  // the grid stops short
        }
    }
    stop = fail = chunks.back().stop;
    return false;
}

}  // namespace io
