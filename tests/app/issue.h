// Test issues made on the spot: a temporary directory with pictures, a
// zarn.cfg, articles, effects and fonts, and a way to run the real zarn
// binary in it on the headless backend.
#pragma once

#include "aua/aua.h"

#include <cstdint>
#include <string>
#include <vector>

struct TestIssue {
    std::string directory;   // the issue directory (also the working directory of a run)
    std::string configHome;  // XDG_CONFIG_HOME of a run: the settings live below it
    std::string stateHome;   // XDG_STATE_HOME of a run: the reading positions live below it
};

// A fresh directory under the system's temporary folder.
std::string MakeTempDirectory(const char *tag);

// Writes a 24-bit BMP of width x height filled with colour (0x00RRGGBB).
void WriteBmp(const std::string &path, int width, int height, uint32_t colour);
// Writes a baseline JPEG of one colour.
void WriteJpeg(const std::string &path, int width, int height, uint32_t colour);
// Writes an 8-bit mono WAV of frames samples at rate.
void WriteWav(const std::string &path, int frames, int rate);
void WriteText(const std::string &path, const std::string &text);
std::string ReadText(const std::string &path);
bool FileExists(const std::string &path);

// The standard issue: the four start-up pictures (_full.jpg a real JPEG), the
// clock font, three effects, fonts, and a zarn.cfg with the topics and
// articles given as zarn.cfg lines (the caller adds article files).
TestIssue MakeIssue(const char *tag, const std::string &configBody);

// Stores settings values ("name=value" lines) where the next run reads them.
void StoreSettings(const TestIssue &issue, const std::string &lines);
// The stored settings file's text ("" when none).
std::string StoredSettings(const TestIssue &issue);

struct RunResult {
    int exitCode;           // -1 when the program did not exit normally
    std::string output;     // standard output
    std::string errors;     // standard error
    std::string log;        // the headless log
};

// Runs zarn in the issue with the headless script (one command a line) and
// the extra command-line words (binary: another path to the program;
// environment: extra NAME=VALUE words for env; directory: another working
// directory than the issue's).
RunResult RunZarn(const TestIssue &issue, const std::string &script, const std::string &arguments = "",
                  const std::string &binary = "", const std::string &environment = "",
                  const std::string &directory = "");

struct ChildRun {
    int exitCode = -1;
    std::string output;                 // standard output
    std::string log;                    // headless log
    std::vector<std::string> opens;     // shell opens
    std::vector<std::string> boxes;     // message box texts
    int frames = 0;
    int audible = 0;                    // any non-zero audio sample mixed
    std::vector<int> peaks;             // the mixed audio's peak in each 100 ms, in order
    std::vector<PageLink> links;        // the last page's links
};

// Runs WinMain in a forked child in the issue directory on the headless
// backend with the script and the command-line words; the child writes a
// report the parent reads back.
ChildRun RunChild(const TestIssue &issue, const std::string &script, const std::string &arguments = "");

// A PNG (RGB or RGBA) as 0x00RRGGBB pixels; empty when it cannot be read.
std::vector<uint32_t> ReadPng(const std::string &path, int *width, int *height);
