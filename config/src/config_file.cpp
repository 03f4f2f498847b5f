#include "config/config.hpp"

#include "platform/os.hpp"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <ios>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

using json = nlohmann::json;

// The file is a text file with CR LF line ends on every platform. Windows streams opened as text
// translate both ways themselves; elsewhere the streams are binary and the translation is done here.
#if defined(_WIN32)
constexpr std::ios::openmode kTextMode = {};
constexpr bool kTranslateLineEnds = false;
#else
constexpr std::ios::openmode kTextMode = std::ios::binary;
constexpr bool kTranslateLineEnds = true;
#endif

// Reads the file as its lines joined with nothing between them (a line ends at LF; CR LF counts as
// one line end). Nothing when the file holds more than kConfigReadLimit bytes: then it is not a
// configuration at all, and none of it is used. A read error ends the text where it happened.
std::optional<std::string> readJoinedLines(std::ifstream& in) {
    std::string text;
    std::size_t consumed = 0;
    std::size_t lineStart = 0;
    std::string chunk(std::size_t{64} * 1024, '\0');
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > kConfigReadLimit - consumed) {
            return std::nullopt;
        }
        consumed += got;
        const char* next = chunk.data();
        const char* const end = next + got;
        while (next != end) {
            const auto* lineFeed =
                static_cast<const char*>(std::memchr(next, '\n', static_cast<std::size_t>(end - next)));
            text.append(next, lineFeed ? lineFeed : end);
            if (!lineFeed) {
                break;
            }
            if (kTranslateLineEnds && text.size() > lineStart && text.back() == '\r') {
                text.pop_back();
            }
            lineStart = text.size();
            next = lineFeed + 1;
        }
    }
    return text;
}

// True when the text opens arrays and objects deeper than kConfigDepthLimit. Decided on the text, before
// the parser builds such a document: it would cost memory per level, and copying or writing it would
// recurse per level. Brackets inside strings do not count; a NUL ends the text, as it does for the parser.
bool nestsTooDeep(std::string_view text) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > kConfigDepthLimit) {
                return true;
            }
            break;
        case ']':
        case '}':
            if (depth > 0) {
                --depth;
            }
            break;
        case '\0':
            return false;
        default:
            break;
        }
    }
    return false;
}

std::string serialise(const json& config) {
    std::string text = config.dump(4, ' ', false, json::error_handler_t::strict);
    if constexpr (kTranslateLineEnds) {
        // Line breaks are the only raw LFs in the dump: inside strings they are escaped.
        std::string crlf;
        crlf.reserve(text.size() + text.size() / 8);
        for (const char c : text) {
            if (c == '\n') {
                crlf.push_back('\r');
            }
            crlf.push_back(c);
        }
        text = std::move(crlf);
    }
    return text;
}

// Writes beside the target and moves the finished file over it, so that the old file stays whole
// until a complete new one is there. False when the target was not replaced.
bool replaceWithText(const std::string& path, const std::string& text) {
    // The suffix cannot end a configuration path, which always ends in ".cfg". A stale temporary (a
    // crash mid-write) is removed first, so that a leftover link is not written through.
    const std::string temporary = path + ".tmp";
    std::remove(temporary.c_str());
    {
        std::ofstream out(temporary, std::ios::out | std::ios::trunc | kTextMode);
        if (!out.is_open()) {
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (out.fail()) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (!platform::replaceFile(temporary.c_str(), path.c_str())) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string configPath(const std::string& name, bool useConfigDirectory) {
    return (useConfigDirectory ? std::string(configDirectory) : std::string()) + name + ".cfg";
}

bool configFileExists(const std::string& name, bool useConfigDirectory) {
    std::ifstream in(configPath(name, useConfigDirectory), std::ios::in | kTextMode);
    return in.good();
}

void saveConfig(const std::string& name, const nlohmann::json& config, bool useConfigDirectory) {
    // Serialised before anything on disk is touched: a document that cannot be written (a string
    // that is not UTF-8) leaves the old file as it was.
    std::string text;
    try {
        text = serialise(config);
    } catch (...) {
        return;
    }
    if (useConfigDirectory) {
        // One level, like _mkdir; it usually exists already, and any real failure shows in the write.
        const std::string directory(configDirectory.substr(0, configDirectory.size() - 1));
        (void)platform::makeDirectory(directory.c_str());
    }
    replaceWithText(configPath(name, useConfigDirectory), text);
}

nlohmann::json loadConfig(const std::string& name, const nlohmann::json& defaults, bool useConfigDirectory) {
    if (!configFileExists(name, useConfigDirectory)) {
        saveConfig(name, defaults, useConfigDirectory);
        return defaults;
    }

    // A file past kConfigReadLimit, or nested past kConfigDepthLimit, is something other than a
    // configuration (an endless device, a stray data file, a crafted file that would exhaust the
    // stack): it is neither used nor overwritten. The defaults are returned as for a file that cannot
    // be read, but not written back, because that would destroy the file for nothing: the write-back
    // is for a file that was read whole. The next load finds the file as it was.
    json config;
    bool unusable = false;
    {
        std::ifstream in(configPath(name, useConfigDirectory), std::ios::in | kTextMode);
        try {
            const std::optional<std::string> text = readJoinedLines(in);
            unusable = !text || nestsTooDeep(*text);
            if (!unusable) {
                config = json::parse(*text, nullptr, true);
            }
        } catch (...) {
            // An unreadable or malformed file counts as null.
        }
    }
    if (unusable) {
        return defaults;
    }

    // A type error from here leaves before anything is written, so the file keeps its content.
    config = reconcileConfig(std::move(config), defaults);
    saveConfig(name, config, useConfigDirectory);
    return config;
}
