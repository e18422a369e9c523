#pragma once

// True when Red Alert 3 is running, seen by either of its named mutexes: one that exists, or one that
// exists but may not be opened (the game runs as administrator). The second name is not probed once the
// first is found. Throws nothing; a mutex that cannot be created for any other reason counts as absent.
// Owns neither mutex and leaves none behind.
bool isGameRunning();
