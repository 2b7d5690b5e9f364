// zarn-tool — shared declarations of the authors' tool. Each command lives in
// its own tools/*.cpp and registers itself with one ZARN_TOOL_COMMAND line, so
// commands are added without touching the dispatcher.
#pragma once

#include <string>

typedef int (*ToolCommandFunction)(int argc, char **argv);

struct ToolCommandRegistration {
    ToolCommandRegistration(const char *name, ToolCommandFunction function, const char *summary);
};

#define ZARN_TOOL_COMMAND(name, function, summary) \
    static ToolCommandRegistration toolCommand_##function(name, function, summary)

// Prints "zarn-tool: MESSAGE" on standard error; returns 1 (the error exit status).
int ToolFail(const char *format, ...) __attribute__((format(printf, 1, 2)));

// True when argv[1..] holds "--help" or "-h".
bool ToolWantsHelp(int argc, char **argv);

// Takes "-C DIR" or "-o OUT" at argv[*i] (moving *i past the value) and
// returns true; returns false for anything else, leaving *i where it was.
bool ToolTakeIssueOption(int argc, char **argv, int *i, const char **directory, const char **output);

// Opens an issue the way the reader does: DIR (when not null) becomes the
// working directory and its zarn.dat the archive, so a name resolves to a
// loose file in DIR or one of its eleven subdirectories first, then to the
// archive member. Returns 0, or 1 after a message when DIR cannot be entered.
int ToolEnterIssue(const char *directory);

// Checks the issue in directory (null: the working directory, which it
// enters either way) as `zarn-tool lint` does and prints the same report on
// standard output. Returns lint's exit status (1 when there is an error, or
// with strict a warning, or the issue cannot be entered); the errors found
// go to *errorCount when it is not null.
int ToolLintIssue(const char *directory, bool strict, int *errorCount);

// 8-bit issue text (Latin-1, with Windows' characters in 0x80-0x9F) as HTML
// text or attribute value: UTF-8 with markup characters escaped.
std::string ToolHtmlText(const std::string &text);

// An output directory made whole or not at all: commands write into a
// staging directory beside the target, which then takes the target's place.
struct ToolOutputDirectory {
    std::string target; // the directory asked for, absolute
    std::string stage;  // where the command writes meanwhile
    bool replace;       // the target holds an earlier output, replaced at the end
};

// Checks that path is new, empty, or (when earlierMarker is not null) holds
// a file of that name, which marks an earlier output of the command, and
// makes the staging directory. Returns 0, or 1 after a message naming command.
int ToolStartOutputDirectory(const char *command, const char *path, const char *earlierMarker,
                             ToolOutputDirectory *output);
// When ok, moves the stage into the target's place (an earlier output goes);
// otherwise, or when that fails, removes the stage. Returns 0, or 1 after a
// message naming command.
int ToolFinishOutputDirectory(const char *command, ToolOutputDirectory *output, bool ok);
