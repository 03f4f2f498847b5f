#include "config/config.hpp"

std::string configPath(const std::string& name, bool useConfigDirectory) {
    return (useConfigDirectory ? std::string(configDirectory) : std::string()) + name + ".cfg";
}
nlohmann::json loadConfig(const std::string&, const nlohmann::json& defaults, bool) { return defaults; }
bool configFileExists(const std::string&, bool) { return false; }
void saveConfig(const std::string&, const nlohmann::json&, bool) {}
