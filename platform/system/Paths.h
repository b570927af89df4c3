#pragma once

#include <filesystem>

namespace kestrova_system {

// $XDG_CONFIG_HOME, else $HOME/.config.
std::filesystem::path ConfigHome();
// $XDG_DATA_HOME, else $HOME/.local/share.
std::filesystem::path DataHome();
// The folder of this system's own settings and data-source files: ConfigHome()/Kestrova.
std::filesystem::path ConfigDirectory();
// The folder of this system's data files: DataHome()/kestrova.
std::filesystem::path DataDirectory();

}  // namespace kestrova_system
