#pragma once

// Names the calling thread, as ps -L and top -H show it (at most 15 bytes).
void nameThisThread(const char* name);
