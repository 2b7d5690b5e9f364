// The reader's own command line, read on the argument vector before anything
// starts: an issue to open (its directory or its zarn.dat), --demo, --setup,
// --watch, --help and --version. Any other line is left whole to
// ParseCommandLine, so a plain word still brings up the setup dialog.
#pragma once

#include <cstdio>

enum ProgramAction {
    PROGRAM_RUN = 0,     // start the reader
    PROGRAM_USAGE = 1,   // print the usage and end with 0
    PROGRAM_VERSION = 2, // print "zarn VERSION" and end with 0
    PROGRAM_ERROR = 3,   // print the message on standard error and end with exitCode
};

enum { PROGRAM_PATH_BUFFER = 4096, PROGRAM_MESSAGE_BUFFER = 640 };

struct ProgramOptions {
    ProgramAction action;
    int exitCode;      // for every action but PROGRAM_RUN: 0, 1 (nothing to open) or 2 (bad line)
    int ownForm;       // 1: one of our forms matched; 0: the whole line goes to ParseCommandLine
    int setup;         // --setup was given
    int demo;          // --demo was given
    int watch;         // --watch was given: the live preview
    char directory[PROGRAM_PATH_BUFFER];  // the issue's directory to work in; "" = stay
    char message[PROGRAM_MESSAGE_BUFFER]; // PROGRAM_ERROR: one line without the newline
};

// Sorts the argument vector into an action. Never fails: a bad line gives
// PROGRAM_ERROR with the message and exit code filled in.
void ReadProgramOptions(int argc, char **argv, ProgramOptions *options);

// 1 when path is an existing directory, or an existing regular file named
// zarn.dat in any case; directory (size bytes) then receives the issue's
// directory ("." for a bare zarn.dat). 0 otherwise, or when it does not fit.
int IssueDirectory(const char *path, char *directory, int size);

// Finds the demo issue installed beside the program (or built beside it in a
// build tree). 1 with directory filled; 0 with directory holding the place
// where the installed one was looked for.
int FindDemoIssue(char *directory, int size);

// Acts on the command line for main: prints the usage, the version or an
// error, enters the issue's directory, asks for the live preview, and hands
// the platform the command line ParseCommandLine will read. Returns 1 to go
// on with WinMain, or 0 with *exitCode set when the program ends here.
int StartCommandLine(int argc, char **argv, int *exitCode);

// The version ("1.0.0"), from the build; never null.
const char *ProgramVersion();

// The text --help prints (options, keys, files, environment); never null.
const char *ProgramUsage();
