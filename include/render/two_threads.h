// The visibility pass on two threads. A software GL (llvmpipe) keeps the
// second core busy only while it has something to draw, and the pass's steps
// split cleanly: records by halves, tiles by columns (a tile's pixels are its
// own). The calling thread keeps the GL context and does all drawing; the
// second thread only fills memory set aside before it starts, so it cannot
// fail for want of memory. Without a second thread (none could start) the
// calling one does both halves.
#ifndef TESK_RENDER_TWO_THREADS_H
#define TESK_RENDER_TWO_THREADS_H

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace two_threads {

// Fewer records, or things in tiles, than this are done on the calling
// thread alone: a thread takes tens of microseconds to start.
inline constexpr size_t MIN_SPLIT = 4096;

// Joins a thread when the scope ends, also when an exception leaves it: a
// thread still joinable when destroyed ends the program.
struct JoinOnExit {
    std::thread& thread;
    ~JoinOnExit()
    {
        if (thread.joinable())
            thread.join();
    }
};

// A flag of an atom or bond that both threads of the pass may set.
inline void Mark(unsigned char& flag, unsigned char value)
{
    __atomic_store_n(&flag, value, __ATOMIC_RELAXED);
}

// Sets a flag both threads may set; true for the one that set it first.
inline bool MarkFirst(unsigned char& flag)
{
    return __atomic_exchange_n(&flag, static_cast<unsigned char>(1), __ATOMIC_RELAXED) == 0;
}

// Runs f(begin, end, side) over [0, count) cut in two halves, side 0 the
// first on the calling thread and side 1 the second on another, when one
// starts and count is at least `split_from` (else after the first). f must
// not throw on side 1; false when it did.
template <class F>
bool InTwoHalves(size_t count, size_t split_from, const F& f)
{
    const size_t half = count / 2;
    bool other_failed = false;
    std::thread other;
    if (count >= split_from && count > 1) {
        try {
            other = std::thread([&] {
                try {
                    f(half, count, size_t{1});
                } catch (...) {
                    other_failed = true;
                }
            });
        } catch (const std::exception&) {
            // no second thread: the calling one does both halves
        }
    }
    const JoinOnExit join{other};
    f(size_t{0}, half, size_t{0});
    if (!other.joinable()) {
        f(half, count, size_t{1});
        return true;
    }
    other.join();
    return !other_failed;
}

// Sorts `records` into the bins of the tiles reach(record, f) calls f with,
// both halves of the records at once: `ends` gets each tile's end in `bins`
// (a tile's bin starts where the one before ends), and within a bin the
// records keep their order. `counts` is room for the first half's counts.
template <class Record, class Reach>
void BinInTwoHalves(const std::vector<Record>& records, size_t tiles, size_t split_from, const Reach& reach,
                    std::vector<size_t>& ends, std::vector<size_t>& counts, std::vector<Record>& bins)
{
    counts.assign(tiles, 0);
    ends.assign(tiles, 0);
    auto count = [&](size_t begin, size_t end, size_t side) {
        std::vector<size_t>& to = side == 0 ? counts : ends;
        for (size_t n = begin; n < end; ++n)
            reach(records[n], [&](size_t t) { ++to[t]; });
    };
    if (!InTwoHalves(records.size(), split_from, count))
        throw std::bad_alloc();
    // where each half of each bin starts: the first half's records first
    size_t sum = 0;
    for (size_t t = 0; t < tiles; ++t) {
        const size_t first = counts[t], second = ends[t];
        counts[t] = sum;
        ends[t] = sum + first;
        sum += first + second;
    }
    bins.resize(sum);
    auto scatter = [&](size_t begin, size_t end, size_t side) {
        std::vector<size_t>& at = side == 0 ? counts : ends;
        for (size_t n = begin; n < end; ++n)
            reach(records[n], [&](size_t t) { bins[at[t]++] = records[n]; });
    };
    if (!InTwoHalves(records.size(), split_from, scatter))
        throw std::bad_alloc();
}

// Calls tile(i, side) for every tile of `bands` bands of tiles_x tiles
// (a second thread only when they hold at least `split_from` things), and
// band_done(band) once a band's tiles are all done, in band order. Tiles are
// independent, so two threads share each band: the calling one takes the
// even columns (side 0) and a second the odd (side 1); band_done, which
// hands parts to the GPU, runs on the calling thread. A software GL uses the
// second core only while it has something to draw. Without a second thread
// the calling one does both sides. tile() must not throw on side 1; false
// when it did (the pass's results are then incomplete).
template <class Tile, class BandDone>
bool TilesOnTwoThreads(size_t bands, size_t tiles_x, size_t things, size_t split_from, const Tile& tile,
                       const BandDone& band_done)
{
    auto side = [&](size_t s, size_t band) {
        for (size_t x = s; x < tiles_x; x += 2)
            tile(band * tiles_x + x, s);
    };
    std::mutex mutex;
    std::condition_variable changed;
    size_t other_bands = 0;  // bands the second thread is done with
    bool other_failed = false;
    std::thread other;
    if (tiles_x > 1 && things >= split_from) {
        try {
            other = std::thread([&] {
                size_t band = 0;
                bool failed = false;
                try {
                    for (; band < bands; ++band) {
                        side(1, band);
                        const std::lock_guard<std::mutex> lock(mutex);
                        other_bands = band + 1;
                        changed.notify_one();
                    }
                } catch (...) {
                    failed = true;
                }
                const std::lock_guard<std::mutex> lock(mutex);
                other_failed = failed;
                other_bands = bands;
                changed.notify_one();
            });
        } catch (const std::exception&) {
            // no second thread: the calling one does its tiles too
        }
    }
    // the second thread ends before anything thrown here leaves
    const JoinOnExit join{other};
    for (size_t band = 0; band < bands; ++band) {
        side(0, band);
        if (other.joinable()) {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return other_bands > band; });
            if (other_failed)
                return false;
        } else {
            side(1, band);
        }
        band_done(band);
    }
    return true;
}

}  // namespace two_threads

#endif
