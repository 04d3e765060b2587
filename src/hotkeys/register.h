#pragma once

#include <cstdint>
#include <string>

#include "hotkeys/hotkey_spec.h"

class HotkeySystem;
class Notifier;

// Registers one shortcut system-wide under id. A refusal is told to the user
// in a notification and on standard error, naming the shortcut by ten; on a
// desktop that cannot register shortcuts at all, standard error names the
// command to bind instead. The result says whether the shortcut is in force.
bool dangKy(const HotkeySpec& spec, uint32_t id, const std::string& ten, HotkeySystem& system,
            Notifier& notifier);

// The standard-error line for a refused registration.
std::string registrationErrorLine(const std::string& ten, int32_t status);
