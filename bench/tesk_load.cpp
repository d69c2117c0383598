// Loads one structure file exactly as the viewer does (CModel::ReadFile:
// read, box, bonds, centring) and prints what it found, for comparisons
// with other tools on the same files.
//
//   tesk_load FORMAT FILE   (a --format name: xyz, vasp, pdb, cif, mmcif, ...)
//
// Prints "atoms N bonds B seconds S" on one line; exit status 1 when the
// file is refused.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "model/model.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::printf("usage: tesk_load FORMAT FILE\n");
        return 2;
    }
    const int format = int(io::FormatFromName(argv[1]));
    const std::string path = argv[2];
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);

    CModel model;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = model.ReadFile(folder, path, format);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
        std::printf("could not read %s as %s\n", path.c_str(), argv[1]);
        return 1;
    }
    std::printf("atoms %u bonds %u seconds %.3f\n", model.GetTotalAtoms(), model.BondCount(), seconds);
    return 0;
}
