// The reader's own keys, taken the same way in the menu and in an article:
// the search line's while it is open, else '/' and Ctrl+F to open it, H and
// '?' for the help (shown here), and the comforts (carried out here). What
// is left in lastKey afterwards is for the loop's own keys.
#pragma once

// What the keys did that the loop must follow up.
enum ReaderKeyEvent {
    READER_KEYS_NOTHING = 0,
    READER_KEYS_LINE_OPENED = 1,  // the search line was opened (with what was typed after '/')
    READER_KEYS_LINE_CHANGED = 2, // its text changed
    READER_KEYS_FIND = 3,         // Enter on it, with some text
    READER_KEYS_LINE_CLOSED = 4,  // Esc closed it
    READER_KEYS_HELP_SHOWN = 5,   // the help was shown and closed again
};

// Takes the typed characters and lastKey as far as they are the reader's
// own keys (never fails).
ReaderKeyEvent TakeReaderKeys();
