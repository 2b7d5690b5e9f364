// The shared state of a running reader: the screen pages every screen is
// composed in, the message pumps every loop sleeps in, the effects and the
// volume step both loops sound and take.
//
// [SECTION] State
// [SECTION] Pages
// [SECTION] Message pumps
// [SECTION] Effects and volume
#include "app/session.h"

#include "gfx/display.h"
#include "store/settings.h"
#include "store/stackheap.h"

// [SECTION] State ---------------------------------------------------------------

namespace {

struct SessionState {
    uint32_t *shownPage;
    uint32_t *drawPage;
    uint32_t *sparePage;
    SoundEffect effects[SHELL_EFFECTS]; // "article", "page", "back"
    uint32_t buttonPresses;             // WM_LBUTTONDOWN messages dispatched so far
};

SessionState session;

} // namespace

// [SECTION] Pages ---------------------------------------------------------------

int SessionAllocatePages()
{
    int32_t pageBytes = appSettings.screenWidth * appSettings.screenHeight * 4;
    session.shownPage = (uint32_t *)StackheapAlloc(pageBytes);
    session.drawPage = (uint32_t *)StackheapAlloc(pageBytes);
    session.sparePage = (uint32_t *)StackheapAlloc(pageBytes);
    return session.shownPage && session.drawPage && session.sparePage;
}

void SessionFreePages()
{
    StackheapFree(session.shownPage);
    StackheapFree(session.drawPage);
    StackheapFree(session.sparePage);
    session.shownPage = session.drawPage = session.sparePage = nullptr;
}

uint32_t *ShownPage()
{
    return session.shownPage;
}

uint32_t *DrawPage()
{
    return session.drawPage;
}

uint32_t *SparePage()
{
    return session.sparePage;
}

// [SECTION] Message pumps -------------------------------------------------------

namespace {

void Dispatch(const MSG *message)
{
    // A press is one button-down message; the pointer moves that follow it
    // with the button held are not new presses.
    if (message->message == WM_LBUTTONDOWN)
        session.buttonPresses++;
    TranslateMessage(message);
    DispatchMessageA(message);
}

} // namespace

uint32_t ButtonPressCount()
{
    return session.buttonPresses;
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // -1 is a broken queue: treat it as the end so no loop spins on it.
            input.quitRequested = 1;
            return;
        }
        Dispatch(&message);
    }
}

void WaitMessages()
{
    MSG message;
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1)
        input.quitRequested = 1;
    if (got != -1)
        Dispatch(&message);
    PumpMessages();
}

// [SECTION] Effects and volume --------------------------------------------------

SoundEffect *ShellEffect(int which)
{
    if (which < 0 || which >= SHELL_EFFECTS)
        return nullptr;
    return &session.effects[which];
}

void SoundShellEffect(int which)
{
    SoundEffect *effect = ShellEffect(which);
    if (effect && appSettings.effectsOn == 1)
        PlayEffect(effect);
}

int32_t VolumeStep()
{
    int32_t volume = MasterVolume() / 2;
    if (volume < 1)
        volume = 64;
    SetMasterVolume(volume);
    return volume;
}
