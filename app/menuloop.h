// The main menu loop: the home screen listing the magazine's topics. It sleeps
// in the message wait and redraws only on a key or a redraw request.
#pragma once

#include <cstdint>

// Runs until Esc, exitRequested or quitRequested (never fails).
void MainMenuLoop();

// Composes the menu screen with topic selected highlighted into page
// (appSettings' size): background, key bar, topic panel, clock. Never fails.
void ComposeMenuScreen(uint32_t *page, int selected);

// The selection the loop last had (0 before the first run).
int32_t MenuSelection();
