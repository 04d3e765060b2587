#pragma once

#include <functional>

// Children of this process still in the process table, zombies included.
int childCount();

// Checks cond every few milliseconds until it holds or ten seconds pass; for
// conditions that no event announces (a child reaped by another thread, a
// file written by a child).
bool waitUntil(const std::function<bool()>& cond);
