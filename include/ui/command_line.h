// The program's command line: what it asks for, and carrying out the
// requests that open no window (help, version, conversions, reports).
#ifndef TESK_UI_COMMAND_LINE_H
#define TESK_UI_COMMAND_LINE_H

#include <cstdio>
#include <map>
#include <string>

#include "model/model.h"
#include "render/render_file.h"

// What the command line asks for.
struct CCommandLine {
    enum Action { RUN_VIEWER, SHOW_HELP, SHOW_VERSION, CONVERT, INFO, BONDS, RENDER, BAD_USAGE };
    Action action = RUN_VIEWER;
    std::string file;   // the viewer's start-up file; empty for none
    std::string input;  // --convert IN OUT
    std::string output;
    int format = INPUT_FILE_TYPE_AUTO;      // --format, for FILE or IN
    int to_format = INPUT_FILE_TYPE_AUTO;   // --to, for OUT
    std::map<int, unsigned> type_elements;  // --types: LAMMPS atom types to elements
    std::size_t frame = 1;                  // --frame K for --bonds, counted from 1 as in the window
    CRenderOptions render;                  // --render IN OUT
    std::string message;                    // what is wrong with a BAD_USAGE line
    bool has_iso = false;                   // --iso LEVEL: a volumetric IN becomes its surface at LEVEL
    double iso_level = 0.0;
};

CCommandLine ParseCommandLine(int argc, const char* const* argv);
const char* UsageText();
// "Tesk alpha 18.11(25)", the text the Settings window shows.
std::string VersionText();

// Carries out a command line that opens no window: help, version, a
// conversion, a report or a usage error (--render is the caller's). Returns the exit status, or -1 when the
// viewer is to run.
int RunCommandLine(const CCommandLine& cmd, std::FILE* out, std::FILE* err);

#endif
