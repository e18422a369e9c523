#pragma once

// True when Red Alert 3 is running, seen by either of its named mutexes. Throws nothing; a mutex that
// cannot be opened counts as absent. Owns neither mutex and leaves none behind.
bool isGameRunning();
