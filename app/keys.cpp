// The reader's own keys for both loops: one place decides what the search
// line, the help and the comforts take, so the menu and an article agree.
#include "app/keys.h"

#include "app/comforts.h"
#include "app/help.h"
#include "app/search.h"

ReaderKeyEvent TakeReaderKeys()
{
    if (SearchIsOpen()) {
        SearchAction action = SearchTakeInput();
        // F11, Alt+Enter and F12 still act; the letters were typed.
        TakeComfortKey();
        switch (action) {
        case SEARCH_CHANGED:
            return READER_KEYS_LINE_CHANGED;
        case SEARCH_FIND:
            return READER_KEYS_FIND;
        case SEARCH_CLOSED:
            return READER_KEYS_LINE_CLOSED;
        case SEARCH_NOTHING:
            break;
        }
        return READER_KEYS_NOTHING;
    }
    switch (TakeReaderCommand()) {
    case READER_SEARCH:
        SearchOpen();
        SearchTakeInput(); // what was typed after the '/'
        return READER_KEYS_LINE_OPENED;
    case READER_HELP:
        ShowHelp();
        return READER_KEYS_HELP_SHOWN;
    case READER_NOTHING:
        break;
    }
    return READER_KEYS_NOTHING;
}
