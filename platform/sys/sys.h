// Operating-system services of the program, over the standard library and POSIX.
#pragma once

#include <string>
#include <vector>

namespace sys {

// ---- "registry" -------------------------------------------------------------------------------

// Reads a string value of the stand-in registry: an INI-style file whose sections are key names
// and whose lines are name=value. The file is $STILLO_REGISTRY when set, else "registry.ini"
// beside the executable. Returns false when the file, key or value is missing.
bool ReadRegistryValue(const std::string& key, const std::string& name, std::string& value);

// Same, from a given file (tests use this form).
bool ReadRegistryValueFrom(const std::string& file, const std::string& key, const std::string& name,
                           std::string& value);

// Folder of the running executable, with a trailing '/'.
std::string ExecutableFolder();

// The installation folder ("PATH" under "STILLO01_00013"), always defined and always ending in
// '/': $STILLO_PATH when set, else the registry value, else the executable's folder.
std::string InstallFolder();

// The browser command: the value under "Applications\iexplore.exe\shell\open\command" when the
// registry holds one, else "xdg-open".
std::string BrowserCommand();

// ---- processes --------------------------------------------------------------------------------

// Starts a program (searched on PATH) with arguments and does not wait for it. The child is
// reaped in the background so no zombie is left. Returns false when it could not be started.
bool StartProcess(const std::string& program, const std::vector<std::string>& args);

// True when a program of that name is found on PATH.
bool FindOnPath(const std::string& program, std::string* fullPath = nullptr);

// ---- sound ------------------------------------------------------------------------------------

// Plays WAV files through a command-line player when one is installed; otherwise does nothing.
// Never blocks the caller.
class SoundPlayer {
public:
    // Returns false when nothing was started (no player, empty name, missing file).
    static bool PlayFile(const std::string& path);
    // The player found on PATH ("paplay", "aplay" or "pw-play"), or empty.
    static std::string Player();
};

} // namespace sys
