// The reader's comforts, the same in the menu and in an article: F11 or
// Alt+Enter switch between a window and full screen (the stored setting
// stays as it is), F12 saves the frame on the screen as a PNG in the user's
// pictures folder, M turns the music off and on; and the keys that ask for
// the search line and the help.
#pragma once

// Acts on lastKey when it is one of the keys above and clears it: 1; 0 for
// any other key (lastKey untouched).
int TakeComfortKey();

// What the reader's own keys ask for while the search line is closed.
enum ReaderCommand {
    READER_NOTHING = 0,
    READER_SEARCH = 1, // '/' or Ctrl+F: open the search line
    READER_HELP = 2,   // H or '?': show the help
};

// Takes the characters typed and lastKey when it is one of the reader's own
// keys: the comforts are carried out here, '/' and Ctrl+F ask for the search
// line (characters typed after the '/' stay for it), H and '?' for the help.
// The Part's keys stay in lastKey.
ReaderCommand TakeReaderCommand();

// Saves the frame on the screen as zarn-YYYYMMDD-HHMMSS.png (local time; a
// name already taken gets -2, -3, ... before ".png") in the pictures folder,
// else the working directory, and says "+ screenshot FILE" on standard
// output. 1, or 0 after a "- " line when it cannot be written.
int SaveScreenshot();
