// Ending the process while the player thread mixes. A start-up failure after
// the sound device started returns from WinMain with the thread running, and
// the process's static data (the player's and the audio output's buffers)
// goes away after that: the thread must be gone first, on every such run.
#include "app/shell.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "sound/p_midas.h"

#include "issue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Sound on (the headless output, which keeps every mixed tick in memory) and
// a "page" effect in 16-bit stereo: loading ends with "- error loading sfx!"
// while the player thread mixes.
TestIssue BadEffectIssue(const char *tag)
{
    TestIssue issue = MakeIssue(tag, "topic news News\r\nnews a.txt A\r\n");
    WriteText(issue.directory + "/a.txt", "a");
    static const char stereo16[] = "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x11\x2b\0\0\x44\xac\0\0\x04\0\x10\0"
                                   "data\0\0\0\0";
    WriteText(issue.directory + "/page.wav", std::string(stereo16, sizeof stereo16 - 1));
    StoreSettings(issue, "Show setup=0\nwindowed=1\nsound=1\n");
    return issue;
}

// Made before the sound starts, so it is destroyed after every exit handler
// registered later and before the statics made earlier: it meets the process
// as those statics would.
struct ExitWatch {
    ~ExitWatch()
    {
        int32_t before = PlayerTicks();
        Sleep(100); // five ticks of a running player
        if (PlayerThreadRunning() || PlayerTicks() != before)
            _exit(3);
    }
};

// WinMain in a forked child whose result goes to exit(), as main's does.
int RunToExit(const TestIssue &issue)
{
    fflush(stdout);
    fflush(stderr);
    pid_t child = fork();
    if (child == 0) {
        if (chdir(issue.directory.c_str()) != 0 || !freopen("/dev/null", "w", stdout))
            _exit(90);
        setenv("XDG_CONFIG_HOME", issue.configHome.c_str(), 1);
        static ExitWatch watch;
        char line[] = "zarn";
        char *argv[] = {line};
        PlatformSetCommandLine(1, argv);
        PlatformSelect("headless");
        HeadlessEchoMessageBoxes(0);
        std::exit(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ExitPath, PlayerThreadIsStoppedBeforeTheStaticDataGoes)
{
    TestIssue issue = BadEffectIssue("exitwatch");
    // 3: the thread was still mixing when the statics went.
    EXPECT_EQ(RunToExit(issue), 0);
}

// The real program, run after run: under the sanitizers a thread writing into
// freed memory (or anything left behind) shows on standard error.
TEST(ExitPath, StartupFailureWithTheSoundRunningEnds200TimesCleanly)
{
    TestIssue issue = BadEffectIssue("exit200");
    for (int i = 0; i < 200; i++) {
        RunResult run = RunZarn(issue, "");
        ASSERT_EQ(run.exitCode, 0) << "run " << i << ":\n" << run.errors;
        ASSERT_NE(run.log.find("messagebox Error: Zarn EXCEPTION: '- error loading sfx!"), std::string::npos)
            << run.log;
    }
}
