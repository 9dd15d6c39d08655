// The server's text rules live on the ground floor now (win32/ServerText.h); this name stays for the code that
// still includes it here.
#pragma once

#include "win32/ServerText.h"
