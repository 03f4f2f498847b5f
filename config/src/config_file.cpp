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
#include <variant>
#include <vector>

namespace {

using brickwright::fail;
using brickwright::Result;
using json = nlohmann::json;

constexpr const char* kNotRegular = "it is not a regular file";

// The file is a text file with CR LF line ends on every platform. It is written through a stream:
// Windows streams opened as text translate line ends themselves; elsewhere the stream is binary and
// the translation is done here. It is read in binary everywhere, and joinLines reads its line ends.
#if defined(_WIN32)
constexpr std::ios::openmode kTextMode = {};
constexpr bool kTranslateLineEnds = false;
#else
constexpr std::ios::openmode kTextMode = std::ios::binary;
constexpr bool kTranslateLineEnds = true;
#endif

// The file's bytes as the lines they hold, joined with nothing between them: a line ends at LF, and
// CR LF counts as one line end, as a text-mode stream reads them. On Windows a text-mode stream also
// ends the text at the first Ctrl-Z.
[[nodiscard]] std::string joinLines(std::string_view bytes) {
#if defined(_WIN32)
    bytes = bytes.substr(0, bytes.find('\x1a'));
#endif
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t lineFeed = bytes.find('\n', at);
        if (lineFeed == std::string_view::npos) {
            text.append(bytes.substr(at));
            break;
        }
        const std::size_t lineEnd = lineFeed > at && bytes[lineFeed - 1] == '\r' ? lineFeed - 1 : lineFeed;
        text.append(bytes.substr(at, lineEnd - at));
        at = lineFeed + 1;
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

// Where a write to `path` must go for a link there to stay a link: the end of its chain of links, a
// relative target read from its link's folder. Written there, the new text shows through every link;
// `path` itself when it is no link. The end need not exist: a dangling link's target is created.
[[nodiscard]] Result<std::string> linkEnd(const std::string& path) {
    std::filesystem::path at(path);
    // As many links as Linux follows in one path before it gives up.
    for (int hops = 0; hops <= 40; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(at, error)) {
            return at.string();
        }
        const std::filesystem::path target = std::filesystem::read_symlink(at, error);
        if (error) {
            return fail("cannot read the link " + at.string() + ": " + error.message());
        }
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
    return fail("its links lead round in a circle");
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
    std::error_code ignored;
    const std::filesystem::file_type type = std::filesystem::status(path, ignored).type();
    if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::none) {
        // A FIFO or a device is the user's, not a configuration; a directory cannot be replaced anyway.
        return fail(kNotRegular);
    }
    const std::optional<platform::FileAccess> access = platform::fileAccess(path.c_str());
    if (access && access->readOnly) {
        return fail("the file is read-only");
    }
    const Result<std::string> target = linkEnd(path);
    if (!target) {
        return tl::unexpected(target.error());
    }
    return replaceWithText(*target, text, kTextMode, access);
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

// "it holds an array; only an object or null can be used; it is left as it is", or the same of the
// member, `where` reconciliation stopped.
[[nodiscard]] std::string describeRefusal(const json& loaded, const std::vector<std::string>& where) {
    if (where.empty()) {
        return "it holds " + describeType(loaded) +
               "; only an object or null can be used; it is left as it is";
    }
    const json* value = &loaded;
    std::string path;
    for (const std::string& key : where) {
        value = &value->at(key);
        path += (path.empty() ? "" : ".") + key;
    }
    return "its member \"" + path + "\" holds " + describeType(*value) +
           "; only an object or null can be used there; it is left as it is";
}

// A file that is there but is no configuration to read: why, in a few words.
struct Unusable {
    std::string why;
};

// Nothing is there (or its folder is not), so the defaults take its place.
struct Absent {};

// The file's bytes, read once and in binary; or why it is not read. What is not a regular file is
// told before any open, and the open itself cannot wait, should the file be swapped in between. A
// file that is there but cannot be read would be lost to the defaults: it is unusable, not absent. A
// file past kConfigReadLimit is something other than a configuration (a stray data file, a link to
// an endless device); the defaults are used, but not written back, for that would destroy the file
// for nothing.
[[nodiscard]] std::variant<std::string, Unusable, Absent> readWhole(const std::string& path) {
    std::error_code ignored;
    const std::filesystem::file_type type = std::filesystem::status(path, ignored).type();
    if (type == std::filesystem::file_type::directory) {
        return Unusable{"it is a directory, not a file"};
    }
    if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::none) {
        return Unusable{kNotRegular};
    }
    platform::FileRead file = platform::readRegularFile(path.c_str(), kConfigReadLimit);
    switch (file.outcome) {
    case platform::FileRead::Outcome::Read:
        return std::move(file.bytes);
    case platform::FileRead::Outcome::NotRegular:
        return Unusable{kNotRegular};
    case platform::FileRead::Outcome::TooLarge:
        return Unusable{"it holds more than " + std::to_string(kConfigReadLimit / (1024 * 1024)) +
                        " MiB, which no configuration does"};
    case platform::FileRead::Outcome::CannotOpen:
        break;
    }
    if (platform::fileAccess(path.c_str())) {
        return Unusable{"it cannot be read (" + file.reason + ")"};
    }
    return Absent{};
}

// The defaults, written where there was no file; no reconciliation on this path.
[[nodiscard]] brickwright::ConfigLoad createFromDefaults(const std::string& path, const json& defaults,
                                                         bool useConfigDirectory) {
    brickwright::ConfigLoad load;
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

struct ParsedText {
    json document;          // null when malformed
    bool malformed = false; // the text is no JSON (or could not even be joined)
    bool tooDeep = false;   // nested past kConfigDepthLimit: not parsed at all
};

// The file's lines joined and parsed as one JSON text. Nesting is judged on the text, before the
// parser builds a document that would cost memory per level and recurse per level when copied or
// written.
[[nodiscard]] ParsedText parse(const std::string& bytes) {
    ParsedText parsed;
    std::string text;
    try {
        text = joinLines(bytes);
    } catch (...) {
        // Nothing could be read after all: as good as malformed.
    }
    if (nestsTooDeep(text)) {
        parsed.tooDeep = true;
        return parsed;
    }
    try {
        parsed.document = json::parse(text, nullptr, true);
    } catch (...) {
        parsed.malformed = true;
    }
    return parsed;
}

// Writes the reconciled document back when its text differs from the file's bytes in any byte; the
// former bytes go aside first, and without that copy the file is not touched. A read-only file is not
// rewritten. The load's note, or empty.
[[nodiscard]] std::string writeBack(const std::string& path, const json& document, const std::string& former,
                                    bool malformed, bool useConfigDirectory) {
    std::string text;
    try {
        text = serialise(document);
    } catch (...) {
        return {};
    }
    if (onDisk(text) == former) {
        return {};
    }
    const std::optional<platform::FileAccess> access = platform::fileAccess(path.c_str());
    if (access && access->readOnly) {
        return (malformed ? "could not read " + path + " as JSON; the file"
                          : "did not rewrite " + path + ": it") +
               " is read-only, so it is left as it is";
    }
    // The backup lies beside the path the user knows, a link's included. An empty file has nothing to
    // keep, and must not replace a backup that has.
    const std::string backup = path + ".bak";
    if (!former.empty()) {
        if (Result<void> kept = replaceWithText(backup, former, std::ios::binary, access); !kept) {
            return "could not keep the former text of " + path + " in " + backup + " (" +
                   kept.error().message + "); " + path + " is left as it is";
        }
    }
    if (Result<void> written = writeConfigText(path, text, useConfigDirectory); !written) {
        return "could not write " + path + ": " + written.error().message;
    }
    if (former.empty()) {
        return {};
    }
    return (malformed ? "could not read " + path + " as JSON" : "rewrote " + path) +
           "; its former text is kept in " + backup;
}

} // namespace

std::string configPath(const std::string& name, bool useConfigDirectory) {
    return (useConfigDirectory ? std::string(configDirectory) : std::string()) + name + ".cfg";
}

bool configFileExists(const std::string& name, bool useConfigDirectory) {
    // Not a stream: opening one on a FIFO would wait for a writer.
    return platform::canOpenForReading(configPath(name, useConfigDirectory).c_str());
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
    const auto leave = [&](const std::string& why) {
        ConfigLoad load;
        load.document = defaults;
        load.note = "could not use " + path + ": " + why + "; it is left as it is";
        return load;
    };

    const std::variant<std::string, Unusable, Absent> read = readWhole(path);
    if (const auto* unusable = std::get_if<Unusable>(&read)) {
        return leave(unusable->why);
    }
    if (std::holds_alternative<Absent>(read)) {
        return createFromDefaults(path, defaults, useConfigDirectory);
    }
    const std::string& former = std::get<std::string>(read);

    const ParsedText parsed = parse(former);
    if (parsed.tooDeep) {
        return leave("it nests arrays and objects more than " + std::to_string(kConfigDepthLimit) +
                     " levels deep, which no configuration does");
    }

    // A refusal leaves before anything is written, so the file keeps its content.
    Reconciliation reconciled = reconcileOrRefuse(parsed.document, defaults);
    ConfigLoad load;
    if (reconciled.refusal) {
        load.refusal = reconciled.refusal;
        load.note = "could not use " + path + ": " + describeRefusal(parsed.document, reconciled.refusedAt);
        return load;
    }
    load.document = std::move(reconciled.document);
    load.note = writeBack(path, load.document, former, parsed.malformed, useConfigDirectory);
    return load;
}

} // namespace brickwright
