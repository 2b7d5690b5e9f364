// On X screens of less than 24 bits SDL may pick a DirectColor visual, whose
// colormap then bends every colour we put on screen (seen on 16-bit Xvfb:
// pure red came out with blue in it). The screen's own default TrueColor
// visual shows the 5-6-5 pixels exactly, so we ask SDL for that one. Kept
// apart from the backend because Xlib's names clash with ours.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

void SdlPreferTrueColorVisual()
{
    if (getenv("SDL_VIDEO_X11_VISUALID") || !getenv("DISPLAY"))
        return;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    int screen = DefaultScreen(display);
    Visual *visual = DefaultVisual(display, screen);
    if (visual && visual->c_class == TrueColor && DefaultDepth(display, screen) < 24) {
        char id[32];
        snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(XVisualIDFromVisual(visual)));
        setenv("SDL_VIDEO_X11_VISUALID", id, 0);
    }
    XCloseDisplay(display);
}
