// The settings record with its defaults.
#include "store/settings.h"

AppSettings appSettings = {640, 480, 32, 0, 1, 1, 1};
