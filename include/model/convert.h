// Reading a structure file and writing it in another format without a
// window, as the command line does.
#ifndef TESK_MODEL_CONVERT_H
#define TESK_MODEL_CONVERT_H

#include <cstdio>
#include <string>

#include "model/model.h"

// The command line's reading path (--convert, --info, --bonds, --render):
// reads `in` with format `in_fmt` (Auto: detected) into `model`. Returns the
// format read, or INPUT_FILE_TYPE_UNKNOWN with one line in `message` saying why.
int ReadInputFile(const std::string& in, int in_fmt, CModel& model, std::string& message);

// Reads `in` with format `in_fmt` (Auto: detected) and writes `out` with
// `out_fmt` (Auto: from the name of `out`); "-" writes to `standard_output`.
// On failure `message` holds one line saying why (for a refused input: the
// file, the line and the reason), and an existing `out` is left as it was;
// on success, the notes of the read and the save, if any. `options` carry
// what the user told the readers (--types).
bool ConvertFile(const std::string& in, int in_fmt, const std::string& out, int out_fmt, std::string& message,
                 std::FILE* standard_output = stdout, const io::ReadOptions& options = io::ReadOptions());

#endif
