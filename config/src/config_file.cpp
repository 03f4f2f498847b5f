#include "config/config.hpp"

#include "platform/os.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <ios>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace {

using brickwright::fail;
using brickwright::Result;
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
[[nodiscard]] std::optional<std::string> readJoinedLines(std::ifstream& in) {
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
[[nodiscard]] bool nestsTooDeep(std::string_view text) {
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

// Every LF preceded by a CR. Line breaks are the only raw LFs in a dump: inside strings they are escaped.
[[nodiscard]] std::string withCrLf(const std::string& text) {
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        if (c == '\n') {
            crlf.push_back('\r');
        }
        crlf.push_back(c);
    }
    return crlf;
}

[[nodiscard]] std::string serialise(const json& config) {
    std::string text = config.dump(4, ' ', false, json::error_handler_t::strict);
    if constexpr (kTranslateLineEnds) {
        text = withCrLf(text);
    }
    return text;
}

// The file's bytes as written through a text-mode stream: every line break CR LF on every platform.
[[nodiscard]] std::string onDisk(const std::string& text) {
    return kTranslateLineEnds ? text : withCrLf(text);
}

// The file's bytes, read in binary; nothing when it holds more than kConfigReadLimit. A read error
// ends them where it happened, as it ends the text that is parsed.
[[nodiscard]] std::optional<std::string> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    std::string bytes;
    std::string chunk(std::size_t{64} * 1024, '\0');
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > kConfigReadLimit - bytes.size()) {
            return std::nullopt;
        }
        bytes.append(chunk.data(), got);
    }
    return bytes;
}

// Writes beside the target and moves the finished file over it, so that the old file stays whole
// until a complete new one is there. With `access`, the new file is given it before the move.
[[nodiscard]] Result<void> replaceWithText(const std::string& path, const std::string& text,
                                           std::ios::openmode mode,
                                           const std::optional<platform::FileAccess>& access) {
    // The suffix cannot end a configuration path, which always ends in ".cfg" or ".bak". A stale
    // temporary (a crash mid-write) is removed first, so that a leftover link is not written through.
    const std::string temporary = path + ".tmp";
    std::remove(temporary.c_str());
    {
        errno = 0;
        std::ofstream out(temporary, std::ios::out | std::ios::trunc | mode);
        if (!out.is_open()) {
            return fail("cannot create " + temporary + ": " + platform::lastErrorReason());
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (out.fail()) {
            const std::string reason = platform::lastErrorReason();
            std::remove(temporary.c_str());
            return fail("cannot write " + temporary + ": " + reason);
        }
    }
    Result<void> done = access ? platform::setFileAccess(temporary.c_str(), *access) : Result<void>();
    if (done) {
        done = platform::replaceFile(temporary.c_str(), path.c_str());
    }
    if (!done) {
        std::remove(temporary.c_str());
    }
    return done;
}

// Creates the configuration directory when the flag asks for it and puts `text` in place of the
// file, which keeps its access. A read-only file is not replaced: Windows refuses to, and elsewhere
// the file's owner said as much.
[[nodiscard]] Result<void> writeConfigText(const std::string& path, const std::string& text,
                                           bool useConfigDirectory) {
    if (useConfigDirectory) {
        // One level, like _mkdir; it usually exists already, and any real failure shows in the write.
        const std::string directory(configDirectory.substr(0, configDirectory.size() - 1));
        (void)platform::makeDirectory(directory.c_str());
    }
    const std::optional<platform::FileAccess> access = platform::fileAccess(path.c_str());
    if (access && access->readOnly) {
        return fail("the file is read-only");
    }
    return replaceWithText(path, text, kTextMode, access);
}

// What a document is, in the words of its user: "an array", "a string".
[[nodiscard]] std::string describeType(const json& value) {
    switch (value.type()) {
    case json::value_t::object:
        return "an object";
    case json::value_t::array:
        return value.empty() ? "an empty array" : "an array";
    case json::value_t::string:
        return "a string";
    case json::value_t::boolean:
        return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
        return "a number";
    default:
        return "null";
    }
}

// Where reconciliation refuses `loaded`: the key path of the first value that is neither an object
// nor null and yet has entries to add or to remove, as reconcileConfig walks; nothing when it does
// not refuse. Descends as reconcileConfig does: only where the default is an object and the loaded
// member is one, or stands under a "$" key.
[[nodiscard]] std::optional<std::vector<std::string>> refusedAt(const json& loaded, const json& defaults) {
    if (!loaded.is_object()) {
        // Adding to it or removing from it raises: a scalar has its one entry, an array its elements.
        const auto hasEntries = [](const json& value) {
            return value.is_structured() ? !value.empty() : !value.is_null();
        };
        if (hasEntries(loaded) || hasEntries(defaults)) {
            return std::vector<std::string>{};
        }
        return std::nullopt;
    }
    for (const auto& entry : defaults.items()) {
        const auto member = loaded.find(entry.key());
        if (member == loaded.end() || !entry.value().is_object()) {
            continue;
        }
        const bool dollar = !entry.key().empty() && entry.key().front() == '$';
        if (dollar || member->is_object()) {
            if (std::optional<std::vector<std::string>> inner = refusedAt(*member, entry.value())) {
                inner->insert(inner->begin(), entry.key());
                return inner;
            }
        }
    }
    return std::nullopt;
}

// "it holds an array; only an object or null can be used; it is left as it is", or the same of the
// member where reconciliation stopped.
[[nodiscard]] std::string describeRefusal(const json& loaded, const json& defaults) {
    const std::optional<std::vector<std::string>> where = refusedAt(loaded, defaults);
    if (!where || where->empty()) {
        return "it holds " + describeType(loaded) +
               "; only an object or null can be used; it is left as it is";
    }
    const json* value = &loaded;
    std::string path;
    for (const std::string& key : *where) {
        value = &(*value)[key];
        path += (path.empty() ? "" : ".") + key;
    }
    return "its member \"" + path + "\" holds " + describeType(*value) +
           "; only an object or null can be used there; it is left as it is";
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
    // Nothing to report to: saveConfig's callers expect silence, and the old file is whole.
    (void)writeConfigText(configPath(name, useConfigDirectory), text, useConfigDirectory);
}

nlohmann::json loadConfig(const std::string& name, const nlohmann::json& defaults, bool useConfigDirectory) {
    brickwright::ConfigLoad load = brickwright::loadConfigAndTell(name, defaults, useConfigDirectory);
    if (load.refusal) {
        // Thrown as a copy: a runtime that rethrows the stored object itself (Wine's does) would free
        // it with `load` while it is still in flight.
        try {
            std::rethrow_exception(load.refusal);
        } catch (const nlohmann::json::type_error& error) {
            throw error;
        }
    }
    return std::move(load.document);
}

namespace brickwright {

ConfigLoad loadConfigAndTell(const std::string& name, const nlohmann::json& defaults,
                             bool useConfigDirectory) {
    const std::string path = configPath(name, useConfigDirectory);
    ConfigLoad load;
    const auto leave = [&](std::string note) {
        load.document = defaults;
        load.note = "could not use " + path + ": " + std::move(note);
        return std::move(load);
    };
    const auto tooLarge = [&] {
        return leave("it holds more than " + std::to_string(kConfigReadLimit / (1024 * 1024)) +
                     " MiB, which no configuration does; it is left as it is");
    };

    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        return leave("it is a directory, not a file; it is left as it is");
    }
    if (!configFileExists(name, useConfigDirectory)) {
        // A file that is there but cannot be read would be lost to the defaults: it is not replaced.
        errno = 0;
        std::ifstream probe(path, std::ios::in | kTextMode);
        const std::string reason = platform::lastErrorReason();
        if (platform::fileAccess(path.c_str())) {
            return leave("it cannot be read (" + reason + "); it is left as it is");
        }
        load.document = defaults;
        std::string text;
        try {
            text = serialise(defaults);
        } catch (...) {
            return load;
        }
        if (Result<void> written = writeConfigText(path, text, useConfigDirectory); !written) {
            load.note = "could not write " + path + ": " + written.error().message;
        }
        return load;
    }

    // A file past kConfigReadLimit, or nested past kConfigDepthLimit, is something other than a
    // configuration (an endless device, a stray data file, a crafted file that would exhaust the
    // stack): it is neither used nor overwritten. The defaults are returned as for a file that cannot
    // be read, but not written back, because that would destroy the file for nothing: the write-back
    // is for a file that was read whole. The next load finds the file as it was.
    const std::optional<std::string> former = readBytes(path);
    if (!former) {
        return tooLarge();
    }
    json config;
    bool malformed = false;
    {
        std::ifstream in(path, std::ios::in | kTextMode);
        std::optional<std::string> text;
        try {
            text = readJoinedLines(in);
        } catch (...) {
            // Nothing could be read after all: as good as malformed.
            text = std::string();
        }
        if (!text) {
            return tooLarge();
        }
        if (nestsTooDeep(*text)) {
            return leave("it nests arrays and objects more than " + std::to_string(kConfigDepthLimit) +
                         " levels deep, which no configuration does; it is left as it is");
        }
        try {
            config = json::parse(*text, nullptr, true);
        } catch (...) {
            // An unreadable or malformed file counts as null.
            malformed = true;
        }
    }

    // A type error from here leaves before anything is written, so the file keeps its content.
    try {
        load.document = reconcileConfig(config, defaults);
    } catch (const json::type_error&) {
        load.refusal = std::current_exception();
        load.document = nullptr;
        load.note = "could not use " + path + ": " + describeRefusal(config, defaults);
        return load;
    }

    std::string text;
    try {
        text = serialise(load.document);
    } catch (...) {
        return load;
    }
    if (onDisk(text) == *former) {
        return load;
    }
    const std::optional<platform::FileAccess> access = platform::fileAccess(path.c_str());
    if (access && access->readOnly) {
        load.note = (malformed ? "could not read " + path + " as JSON; the file"
                               : "did not rewrite " + path + ": it") +
                    " is read-only, so it is left as it is";
        return load;
    }
    // The former bytes go aside first; without that copy the file is not touched. An empty file has
    // nothing to keep, and must not replace a backup that has.
    const std::string backup = path + ".bak";
    if (!former->empty()) {
        if (Result<void> kept = replaceWithText(backup, *former, std::ios::binary, access); !kept) {
            load.note = "could not keep the former text of " + path + " in " + backup + " (" +
                        kept.error().message + "); " + path + " is left as it is";
            return load;
        }
    }
    if (Result<void> written = writeConfigText(path, text, useConfigDirectory); !written) {
        load.note = "could not write " + path + ": " + written.error().message;
        return load;
    }
    if (!former->empty()) {
        load.note = (malformed ? "could not read " + path + " as JSON" : "rewrote " + path) +
                    "; its former text is kept in " + backup;
    }
    return load;
}

} // namespace brickwright
