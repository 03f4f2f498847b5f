#include "sigcheck/name_parts.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <iterator>

namespace sigcheck {
namespace {

struct Token {
    std::string_view text;
    std::size_t begin = 0; // offsets into the demangled text
    std::size_t end = 0;
};

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$' || c == '~' || c == '?' ||
           c == '@';
}

bool isName(const Token& token) {
    return !token.text.empty() && (isNameChar(token.text.front()) || token.text.front() == '`');
}

// Identifiers (with "`vftable'"-style quoted names), "::", and single punctuation; spaces separate.
std::vector<Token> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    const auto add = [&](std::size_t begin, std::size_t end) {
        tokens.push_back({text.substr(begin, end - begin), begin, end});
    };
    while (i < text.size()) {
        const char c = text[i];
        const std::size_t begin = i;
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            ++i;
            continue;
        }
        if (isNameChar(c) || c == '`') {
            int quotes = 0;
            while (i < text.size() && (quotes > 0 || isNameChar(text[i]) || text[i] == '`')) {
                quotes += text[i] == '`' ? 1 : text[i] == '\'' ? -1 : 0;
                ++i;
            }
            add(begin, i);
            continue;
        }
        i += c == ':' && i + 1 < text.size() && text[i + 1] == ':' ? std::size_t{2} : std::size_t{1};
        add(begin, i);
    }
    // "operator<", "operator()" and the like are one name: their symbols must not count as brackets.
    std::vector<Token> merged;
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        Token token = tokens[t];
        if (token.text == "operator") {
            std::size_t next = t + 1;
            if (next + 1 < tokens.size() && tokens[next].text == "(" && tokens[next + 1].text == ")") {
                next += 2;
            } else {
                while (next < tokens.size() && tokens[next].begin == tokens[next - 1].end &&
                       std::string_view("<>=!+-*/%^&|~[],").find(tokens[next].text.front()) !=
                           std::string_view::npos) {
                    ++next;
                }
            }
            token.end = tokens[next - 1].end;
            token.text = text.substr(token.begin, token.end - token.begin);
            t = next - 1;
        }
        merged.push_back(token);
    }
    return merged;
}

// Tokens that the two demanglers write differently or that change nothing in a name's meaning.
bool ignored(std::string_view token) {
    return token == "__ptr64";
}

std::vector<std::string_view> canonical(std::string_view text) {
    std::vector<std::string_view> words;
    for (const Token& token : tokenize(text)) {
        if (!ignored(token.text)) {
            words.push_back(token.text);
        }
    }
    return words;
}

constexpr std::array<std::string_view, 8> kCallingConventions = {
    "__cdecl", "__stdcall", "__fastcall", "__thiscall", "__vectorcall", "__clrcall", "__regcall", "__pascal"};

bool isCallingConvention(std::string_view token) {
    return std::find(kCallingConventions.begin(), kCallingConventions.end(), token) !=
           kCallingConventions.end();
}

bool isAccess(std::string_view token) {
    return token == "public" || token == "protected" || token == "private";
}

bool isClassKey(std::string_view token) {
    return token == "class" || token == "struct" || token == "union" || token == "enum";
}

std::string slice(std::string_view text, const std::vector<Token>& tokens, std::size_t first,
                  std::size_t last) {
    if (first >= last) {
        return {};
    }
    return std::string(text.substr(tokens[first].begin, tokens[last - 1].end - tokens[first].begin));
}

// The first token of the qualified name that ends at token `last`, or `last + 1` when there is none.
std::size_t nameStart(const std::vector<Token>& tokens, std::size_t last) {
    std::size_t j = last + 1;
    for (;;) {
        if (j == 0) {
            return j;
        }
        std::size_t k = j - 1;
        if (tokens[k].text == ">") {
            int depth = 0;
            for (;; --k) {
                depth += tokens[k].text == ">" ? 1 : tokens[k].text == "<" ? -1 : 0;
                if (depth == 0 || k == 0) {
                    break;
                }
            }
            if (depth != 0 || k == 0) {
                return j;
            }
            --k;
        }
        if (!isName(tokens[k]) || isCallingConvention(tokens[k].text)) {
            return j;
        }
        j = k;
        if (j == 0 || tokens[j - 1].text != "::") {
            return j;
        }
        --j;
    }
}

std::string quoted(const std::string& text) {
    return text.empty() ? "(nothing)" : "`" + text + "`";
}

bool sameWords(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
               bool (*drop)(std::string_view)) {
    std::vector<std::string_view> left;
    std::vector<std::string_view> right;
    std::copy_if(a.begin(), a.end(), std::back_inserter(left), [&](std::string_view w) { return !drop(w); });
    std::copy_if(b.begin(), b.end(), std::back_inserter(right), [&](std::string_view w) { return !drop(w); });
    return left == right;
}

bool isConst(std::string_view word) {
    return word == "const";
}
bool isVolatile(std::string_view word) {
    return word == "volatile";
}
bool isIndirection(std::string_view word) {
    return word == "*" || word == "&" || word == "&&";
}

// The qualified name that follows word `i`.
std::string nameAfter(const std::vector<std::string_view>& words, std::size_t i) {
    std::string name;
    for (++i;
         i < words.size() && (words[i] == "::" || isNameChar(words[i].front()) || words[i].front() == '`');
         ++i) {
        name += words[i];
    }
    return name;
}

// One part of two names compared; nothing when it agrees.
std::optional<std::string> partDifference(const std::string& label, const std::string& mod,
                                          const std::string& loader) {
    const std::vector<std::string_view> a = canonical(mod);
    const std::vector<std::string_view> b = canonical(loader);
    if (a == b) {
        return std::nullopt;
    }
    const std::string both = quoted(mod) + " in the mod, " + quoted(loader) + " in the loader";
    if (sameWords(a, b, isClassKey) && a.size() == b.size()) {
        std::string keys;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] != b[i]) {
                keys += (keys.empty() ? "" : "; ") + std::string("class/struct key of ") + nameAfter(a, i) +
                        ": " + std::string(a[i]) + " in the mod, " + std::string(b[i]) + " in the loader";
            }
        }
        return label + ": " + keys;
    }
    if (sameWords(a, b, isConst)) {
        const auto count = [](const std::vector<std::string_view>& words) {
            return std::count_if(words.begin(), words.end(), isConst);
        };
        return label + ": a missing const: " + both +
               (count(a) > count(b) ? " (the loader's lacks it)" : " (the mod's lacks it)");
    }
    if (sameWords(a, b, isVolatile)) {
        return label + ": volatile: " + both;
    }
    if (sameWords(a, b, isIndirection)) {
        return label + ": pointer or reference: " + both;
    }
    return label + ": " + both;
}

} // namespace

bool sameText(std::string_view a, std::string_view b) {
    return canonical(a) == canonical(b);
}

std::optional<NameParts> splitName(std::string_view demangled) {
    const std::vector<Token> tokens = tokenize(demangled);
    if (tokens.empty()) {
        return std::nullopt;
    }
    // The parameter list is the last bracket pair outside every template argument list, right after a
    // name; without one, the text names a variable.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t open = kNone;
    std::size_t close = kNone;
    int angles = 0;
    int parens = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string_view t = tokens[i].text;
        if (t == "<") {
            ++angles;
        } else if (t == ">") {
            angles = std::max(angles - 1, 0);
        } else if (t == "(") {
            if (angles == 0 && parens == 0) {
                open = i;
                close = kNone;
            }
            ++parens;
        } else if (t == ")") {
            parens = std::max(parens - 1, 0);
            if (angles == 0 && parens == 0 && open != kNone) {
                close = i;
            }
        }
    }
    const bool function = open != kNone && close != kNone && open > 0 &&
                          (isName(tokens[open - 1]) || tokens[open - 1].text == ">") &&
                          !isCallingConvention(tokens[open - 1].text);

    NameParts parts;
    std::size_t nameEnd = tokens.size(); // one past the name's last token
    if (function) {
        nameEnd = open;
        std::vector<std::string> parameters;
        std::size_t first = open + 1;
        int depth = 0;
        for (std::size_t i = open + 1; i <= close; ++i) {
            const std::string_view t = tokens[i].text;
            depth += t == "<" || t == "(" ? 1 : t == ">" || t == ")" ? -1 : 0;
            if ((t == "," && depth == 0) || i == close) {
                parameters.push_back(slice(demangled, tokens, first, i));
                first = i + 1;
            }
        }
        if (parameters.size() == 1 && (parameters[0] == "void" || parameters[0].empty())) {
            parameters.clear();
        }
        parts.parameters = std::move(parameters);
        parts.qualifiers = slice(demangled, tokens, close + 1, tokens.size());
    }
    const std::size_t nameBegin = nameStart(tokens, nameEnd - 1);
    if (nameBegin >= nameEnd) {
        return std::nullopt;
    }
    parts.qualifiedName = slice(demangled, tokens, nameBegin, nameEnd);

    // Before the name: access and static/virtual, the type, then the calling convention.
    std::size_t kindEnd = 0;
    while (kindEnd < nameBegin) {
        const std::string_view t = tokens[kindEnd].text;
        if (isAccess(t) && kindEnd + 1 < nameBegin && tokens[kindEnd + 1].text == ":") {
            kindEnd += 2;
        } else if (t == "static" || t == "virtual") {
            ++kindEnd;
        } else {
            break;
        }
    }
    parts.memberKind = slice(demangled, tokens, 0, kindEnd);
    std::size_t typeEnd = nameBegin;
    while (typeEnd > kindEnd &&
           (isCallingConvention(tokens[typeEnd - 1].text) || ignored(tokens[typeEnd - 1].text))) {
        --typeEnd;
    }
    parts.callingConvention = slice(demangled, tokens, typeEnd, nameBegin);
    parts.type = slice(demangled, tokens, kindEnd, typeEnd);
    return parts;
}

std::vector<std::string> nameDifferences(const NameParts& mod, const NameParts& loader) {
    std::vector<std::string> found;
    const auto compare = [&](const std::string& label, const std::string& a, const std::string& b) {
        if (std::optional<std::string> difference = partDifference(label, a, b)) {
            found.push_back(std::move(*difference));
        }
    };
    compare("name", mod.qualifiedName, loader.qualifiedName);
    if (mod.parameters.has_value() != loader.parameters.has_value()) {
        found.push_back(std::string("kind: ") + (mod.parameters ? "a function" : "a variable") +
                        " in the mod, " + (loader.parameters ? "a function" : "a variable") +
                        " in the loader");
        return found;
    }
    compare("member kind (access, static, virtual)", mod.memberKind, loader.memberKind);
    compare(mod.parameters ? "return type" : "type", mod.type, loader.type);
    compare("calling convention", mod.callingConvention, loader.callingConvention);
    if (mod.parameters) {
        const std::vector<std::string>& a = *mod.parameters;
        const std::vector<std::string>& b = *loader.parameters;
        if (a.size() != b.size()) {
            found.push_back("parameter count: " + std::to_string(a.size()) + " in the mod, " +
                            std::to_string(b.size()) + " in the loader");
        } else {
            for (std::size_t i = 0; i < a.size(); ++i) {
                compare("parameter " + std::to_string(i + 1), a[i], b[i]);
            }
        }
        compare("member function qualifiers", mod.qualifiers, loader.qualifiers);
    }
    return found;
}

std::string decoratedFunctionName(std::string_view decorated) {
    if (!decorated.starts_with('?')) {
        return std::string(decorated);
    }
    const std::size_t end = decorated.find('@', 1);
    return std::string(decorated.substr(0, end == std::string_view::npos ? decorated.size() : end + 1));
}

std::string decoratedDifference(std::string_view mod, std::string_view loader) {
    std::size_t at = 0;
    while (at < mod.size() && at < loader.size() && mod[at] == loader[at]) {
        ++at;
    }
    const auto key = [](char letter) -> std::string_view {
        return letter == 'U' ? "struct" : letter == 'V' ? "class" : letter == 'T' ? "union" : "";
    };
    // A key letter stands before a type's name, which goes on to the '@' that ends it.
    if (at < mod.size() && at < loader.size() && !key(mod[at]).empty() && !key(loader[at]).empty()) {
        const std::size_t end = mod.find('@', at);
        const std::string_view name = mod.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
        return "class/struct key of " + std::string(name) + ": " + std::string(key(mod[at])) + " (" +
               mod[at] + ") in the mod, " + std::string(key(loader[at])) + " (" + loader[at] +
               ") in the loader (told from the decorated names)";
    }
    const auto around = [at](std::string_view name) {
        const std::size_t first = at < 8 ? 0 : at - 8;
        return std::string(first > 0 ? "..." : "") + std::string(name.substr(first, at + 8 - first)) +
               (at + 8 < name.size() ? "..." : "");
    };
    return "decorated names part at character " + std::to_string(at + 1) + ": `" + around(mod) +
           "` in the mod, `" + around(loader) + "` in the loader";
}

} // namespace sigcheck
