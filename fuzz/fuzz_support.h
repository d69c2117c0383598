// Shared by the fuzz targets: a scratch folder that lives until the fuzzer
// exits, and writing an input into it.
#ifndef TESK_FUZZ_SUPPORT_H
#define TESK_FUZZ_SUPPORT_H

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzz {

// A plain buffer, so that the clean-up at exit does not depend on the order
// of static destructors.
inline char g_scratch[64];

inline void RemoveScratch()
{
    if (DIR* dir = opendir(g_scratch)) {
        while (const dirent* e = readdir(dir))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                unlink((std::string(g_scratch) + "/" + e->d_name).c_str());
        closedir(dir);
    }
    rmdir(g_scratch);
}

inline const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        // memory-backed when available: every input is written and read back
        std::strcpy(g_scratch, "/dev/shm/tesk-fuzz-XXXXXX");
        if (!mkdtemp(g_scratch)) {
            std::strcpy(g_scratch, "/tmp/tesk-fuzz-XXXXXX");
            if (!mkdtemp(g_scratch))
                std::abort();
        }
        std::atexit(RemoveScratch);
        return std::string(g_scratch);
    }();
    return folder;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

}  // namespace fuzz

#endif
