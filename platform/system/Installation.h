#pragma once

#include <filesystem>
#include <string>

namespace kestrova_system {

// The installation configuration: $XDG_CONFIG_HOME/Kestrova/kestrova.ini, a key file whose
// groups hold where the system's own services are found and their limits:
//
//   [quotes]                         the CSV quote service
//   url = http://127.0.0.1:8642      scheme, host and port; the request path is fixed
//   connect_timeout_ms = 10000
//   total_timeout_ms = 30000
//
//   [web]                            the local web server
//   url = http://127.0.0.1:8642      the base of links to its pages (alert mail)
//
// A missing file, group or key gives the default.
std::filesystem::path InstallationFile();

// The text of a key, or `fallback` when it is not set. An unreadable file is an
// automation::Error naming it.
std::string InstallationSetting(const std::string& group, const std::string& key,
                                const std::string& fallback);
// As a whole number; a value that is not one is an automation::Error naming the key.
long InstallationNumber(const std::string& group, const std::string& key, long fallback);

// The `url` of a service's group ("quotes", "web") without a final "/", or the default.
std::string ServiceUrl(const std::string& group);

// The local web server's default address, also the default of the quote service.
inline constexpr const char* kDefaultWebUrl = "http://127.0.0.1:8642";

}  // namespace kestrova_system
