// zarn-tool — shared declarations of the authors' tool. Each command lives in
// its own tools/*.cpp and registers itself with one ZARN_TOOL_COMMAND line, so
// commands are added without touching the dispatcher.
#pragma once

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

// Opens an issue the way the reader does: DIR (when not null) becomes the
// working directory and its zarn.dat the archive, so a name resolves to a
// loose file in DIR or one of its eleven subdirectories first, then to the
// archive member. Returns 0, or 1 after a message when DIR cannot be entered.
int ToolEnterIssue(const char *directory);
