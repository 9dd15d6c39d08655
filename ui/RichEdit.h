// The rich edit library whose window class the text pages use. It stays loaded for the life of the process,
// as the window classes it registers must.
#pragma once

namespace ui {

// Loads the library once; later calls return the first call's outcome.
bool LoadRichEditLibrary();

}  // namespace ui
