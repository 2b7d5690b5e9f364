// Builds test issues in temporary directories and runs the zarn binary in
// them, or the program's WinMain in a child process.
#include "issue.h"

#include "app/shell.h"
#include "platform/headless/headless.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <jpeglib.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string MakeTempDirectory(const char *tag)
{
    std::string pattern = (fs::temp_directory_path() / (std::string("zarn-") + tag + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!mkdtemp(buffer.data()))
        return "";
    return buffer.data();
}

static void Put16(std::vector<uint8_t> &out, uint32_t v)
{
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

static void Put32(std::vector<uint8_t> &out, uint32_t v)
{
    Put16(out, v);
    Put16(out, v >> 16);
}

static void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write((const char *)bytes.data(), (std::streamsize)bytes.size());
}

void WriteBmp(const std::string &path, int width, int height, uint32_t colour)
{
    int stride = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, (uint32_t)(54 + stride * height));
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, (uint32_t)width);
    Put32(out, (uint32_t)height);
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, (uint32_t)(stride * height));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            out.push_back((uint8_t)colour);
            out.push_back((uint8_t)(colour >> 8));
            out.push_back((uint8_t)(colour >> 16));
        }
        for (int pad = width * 3; pad < stride; pad++)
            out.push_back(0);
    }
    WriteBytes(path, out);
}

void WriteJpeg(const std::string &path, int width, int height, uint32_t colour)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = (JDIMENSION)width;
    info.image_height = (JDIMENSION)height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row((size_t)width * 3);
    for (int x = 0; x < width; x++) {
        row[(size_t)x * 3 + 0] = (JSAMPLE)(colour >> 16);
        row[(size_t)x * 3 + 1] = (JSAMPLE)(colour >> 8);
        row[(size_t)x * 3 + 2] = (JSAMPLE)colour;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    fclose(file);
}

void WriteWav(const std::string &path, int frames, int rate)
{
    std::vector<uint8_t> out;
    auto tag = [&](const char *t) { out.insert(out.end(), t, t + 4); };
    tag("RIFF");
    Put32(out, (uint32_t)(36 + frames));
    tag("WAVE");
    tag("fmt ");
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, 1);
    Put32(out, (uint32_t)rate);
    Put32(out, (uint32_t)rate);
    Put16(out, 1);
    Put16(out, 8);
    tag("data");
    Put32(out, (uint32_t)frames);
    for (int i = 0; i < frames; i++)
        out.push_back((uint8_t)(128 + ((i / 20) % 2 ? 40 : -40)));
    WriteBytes(path, out);
}

void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
}

std::string ReadText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool FileExists(const std::string &path)
{
    return fs::exists(path);
}

TestIssue MakeIssue(const char *tag, const std::string &configBody)
{
    TestIssue issue;
    issue.directory = MakeTempDirectory(tag);
    issue.configHome = issue.directory + "/.config-home";
    issue.stateHome = issue.directory + "/.state-home";
    fs::create_directories(issue.configHome);
    const std::string &d = issue.directory;
    WriteJpeg(d + "/_full.jpg", 640, 480, 0x204060);
    WriteBmp(d + "/_help1.jpg", 640, 80, 0x806040);
    WriteBmp(d + "/_help2.jpg", 640, 80, 0x408060);
    WriteBmp(d + "/_topbar.jpg", 640, 20, 0x602080);
    WriteBmp(d + "/_clkfont.bmp", 60, 9, 0xC0C0C0);
    // The 3D files (the ball, its texture, the flare and the cloth's second
    // layer) come from the demo issue built beside the tests.
    std::string extract = std::string(ZARN_BINARY_DIR) + "/tools/zarn-tool extract " + ZARN_BINARY_DIR +
                          "/demo/zarn.dat -C " + d + " ball.v3d ball.bmp lens.bmp hell2.bmp standard.bmp zs_mask.bmp";
    if (std::system(extract.c_str()) != 0)
        std::fprintf(stderr, "MakeIssue: could not extract the 3D files\n");
    WriteWav(d + "/article.wav", 400, 11025);
    WriteWav(d + "/page.wav", 300, 11025);
    WriteWav(d + "/back.wav", 200, 11025);
    const char *fonts[][2] = {
        {"DejaVuSans.ttf", "verdana.TTF"},
        {"DejaVuSans-Bold.ttf", "verdanaB.TTF"},
        {"DejaVuSans-Oblique.ttf", "verdanaI.TTF"},
        {"DejaVuSans-BoldOblique.ttf", "verdanaZ.TTF"},
    };
    for (auto &font : fonts) {
        std::error_code ignored;
        fs::copy_file(std::string("/usr/share/fonts/truetype/dejavu/") + font[0], d + "/" + font[1], ignored);
    }
    WriteText(d + "/zarn.cfg",
              "!sound article article.wav\r\n!sound page page.wav\r\n!sound back back.wav\r\n" + configBody);
    return issue;
}

void StoreSettings(const TestIssue &issue, const std::string &lines)
{
    fs::create_directories(issue.configHome + "/zarn");
    WriteText(issue.configHome + "/zarn/settings", lines);
}

std::string StoredSettings(const TestIssue &issue)
{
    std::string path = issue.configHome + "/zarn/settings";
    return FileExists(path) ? ReadText(path) : "";
}

RunResult RunZarn(const TestIssue &issue, const std::string &script, const std::string &arguments,
                  const std::string &binary, const std::string &environment, const std::string &directory)
{
    std::string program = binary.empty() ? std::string(ZARN_BINARY_DIR) + "/zarn" : binary;
    std::string scriptPath = issue.directory + "/run.script";
    std::string logPath = issue.directory + "/run.log";
    std::string outputPath = issue.directory + "/run.out";
    std::string errorPath = issue.directory + "/run.err";
    WriteText(scriptPath, script);
    std::remove(logPath.c_str());
    std::string command = "cd '" + (directory.empty() ? issue.directory : directory) +
                          "' && env ZARN_PLATFORM=headless SDL_AUDIODRIVER=dummy" +
                          " XDG_CONFIG_HOME='" + issue.configHome + "' XDG_STATE_HOME='" + issue.stateHome + "'" + " ZARN_HEADLESS_SCRIPT='" +
                          scriptPath + "' ZARN_HEADLESS_LOG='" + logPath + "' " + environment + " timeout 60 '" + program +
                          "' " + arguments + " >'" + outputPath + "' 2>'" + errorPath + "'";
    int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = ReadText(outputPath);
    result.errors = ReadText(errorPath);
    result.log = FileExists(logPath) ? ReadText(logPath) : "";
    return result;
}

ChildRun RunChild(const TestIssue &issue, const std::string &script, const std::string &arguments)
{
    std::string reportPath = issue.directory + "/child.report";
    std::string outputPath = issue.directory + "/child.out";
    std::string logPath = issue.directory + "/child.log";
    fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        if (chdir(issue.directory.c_str()) != 0)
            _exit(90);
        setenv("XDG_CONFIG_HOME", issue.configHome.c_str(), 1);
        setenv("XDG_STATE_HOME", issue.stateHome.c_str(), 1);
        setenv("ZARN_PLATFORM", "headless", 1);
        if (!freopen(outputPath.c_str(), "w", stdout))
            _exit(91);
        setvbuf(stdout, nullptr, _IOLBF, 0);
        std::string line = "zarn" + (arguments.empty() ? std::string() : " " + arguments);
        char *argv[] = {const_cast<char *>(line.c_str())};
        PlatformSetCommandLine(1, argv);
        PlatformSelect("headless");
        HeadlessSetLog(logPath.c_str());
        if (!HeadlessScriptText(script.c_str()))
            _exit(92);
        int result = WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
        fflush(stdout);
        std::ofstream report(reportPath);
        for (const std::string &target : HeadlessShellOpens())
            report << "open " << target << "\n";
        for (const HeadlessMessageBox &box : HeadlessMessageBoxes()) {
            std::string text = box.text;
            for (char &c : text)
                if (c == '\n')
                    c = '|';
            report << "box " << text << "\n";
        }
        report << "frames " << HeadlessFrameCount() << "\n";
        int audible = 0;
        const std::vector<int16_t> &capture = HeadlessAudioCapture();
        for (int16_t sample : capture)
            if (sample != 0)
                audible = 1;
        report << "audible " << audible << "\n";
        report << "peaks";
        for (size_t block = 0; block < capture.size(); block += 4410 * 2) {
            int peak = 0;
            for (size_t i = block; i < block + 4410 * 2 && i < capture.size(); i++)
                peak = std::max(peak, std::abs((int)capture[i]));
            report << " " << peak;
        }
        report << "\n";
        int count = 0;
        const PageLink *links = AuaGetLinks(&count);
        for (int i = 0; i < count; i++)
            report << "link " << links[i].used << " " << links[i].left << " " << links[i].top << " "
                   << links[i].right << " " << links[i].bottom << " " << links[i].target << "\n";
        report.close();
        _exit(result);
    }
    ChildRun run;
    int status = 0;
    waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = ReadText(outputPath);
    run.log = FileExists(logPath) ? ReadText(logPath) : "";
    std::istringstream report(FileExists(reportPath) ? ReadText(reportPath) : "");
    std::string word;
    while (report >> word) {
        std::string rest;
        std::getline(report, rest);
        if (!rest.empty() && rest[0] == ' ')
            rest.erase(0, 1);
        if (word == "open")
            run.opens.push_back(rest);
        else if (word == "box")
            run.boxes.push_back(rest);
        else if (word == "frames")
            run.frames = std::atoi(rest.c_str());
        else if (word == "audible")
            run.audible = std::atoi(rest.c_str());
        else if (word == "peaks") {
            std::istringstream peaks(rest);
            int peak;
            while (peaks >> peak)
                run.peaks.push_back(peak);
        }
        else if (word == "link") {
            PageLink link = {};
            char target[256] = "";
            sscanf(rest.c_str(), "%d %d %d %d %d %255s", &link.used, &link.left, &link.top, &link.right,
                   &link.bottom, target);
            snprintf(link.target, sizeof link.target, "%s", target);
            run.links.push_back(link);
        }
    }
    return run;
}

std::vector<uint32_t> ReadPng(const std::string &path, int *width, int *height)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels((size_t)image.width * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return {};
    for (uint32_t &pixel : pixels)
        pixel &= 0x00FFFFFFu;
    *width = (int)image.width;
    *height = (int)image.height;
    return pixels;
}
