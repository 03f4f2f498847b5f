// The host interface of host/include/sml/sml.hpp as clang-cl decorates it, for fixture DLLs built
// without the MSVC STL: the std templates it names are declared here under their own names and class
// keys, since a decorated name holds only those. Keep in step with sml.hpp.
//   FIXTURE_LOADER               exporting (the loader) rather than importing (the mod)
//   FIXTURE_MODRETURNS_AS_CLASS  ModReturns declared with the other class key, as a wrong loader might
#pragma once

namespace std {
template <class Char> struct char_traits;
template <class T> class allocator;
template <class Char, class Traits = char_traits<Char>, class Allocator = allocator<Char>>
class basic_string {
    void* storage_[4];
};
template <class Char, class Traits = char_traits<Char>> class basic_ofstream { void* storage_[8]; };
template <class T, class Allocator = allocator<T>> class vector { void* storage_[3]; };
template <class Signature> class function;
template <class Result, class... Arguments> class function<Result(Arguments...)> { void* storage_[8]; };
using string = basic_string<char>;
using ofstream = basic_ofstream<char>;
} // namespace std

#if defined(FIXTURE_LOADER)
#define SML_API __declspec(dllexport)
#else
#define SML_API __declspec(dllimport)
#endif

namespace SDK {
class UObject;
class UClass;
} // namespace SDK

namespace SML {
namespace Mod {

class SML_API Mod {
public:
    struct Info {
        std::string loaderVersion;
        std::string name;
        std::string version;
        std::string description;
        std::string authors;
        std::vector<std::string> dependencies;
    };

    explicit Mod(const Info& info);
    Mod(const Mod&) = delete;
    Mod& operator=(const Mod&) = delete;

    virtual void setup() = 0;
    virtual void secondaryEntry() = 0;
    virtual ~Mod();

    const Info& info() const noexcept { return *info_; }

private:
    const Info* info_;
};

namespace Functions {

#if defined(FIXTURE_MODRETURNS_AS_CLASS)
class ModReturns;
#else
struct ModReturns;
#endif

SML_API SDK::UObject* loadObjectFromPak(SDK::UClass* classClass, const wchar_t* path);
SML_API void addRecipe(SDK::UClass* recipeClass);

} // namespace Functions
} // namespace Mod

namespace Objects {

class AFGPlayerController {
public:
    void BeginPlay();
};

} // namespace Objects

namespace Utility {

enum class LogType : int { Normal = 0, Warning = 1, Error = 2, Info = 3, Debug = 4 };
enum class ConsoleColor : int { Black = 0, White = 15 };

SML_API void writeHeader(std::string name, LogType type);
SML_API void setConsoleColor(ConsoleColor color);
SML_API void log(LogType type);

SML_API extern std::ofstream logFile;

} // namespace Utility
} // namespace SML

template <typename Signature, Signature Function> class HookInvoker;

template <>
class HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                  &SML::Objects::AFGPlayerController::BeginPlay> {
public:
    using Handler = std::function<void(SML::Mod::Functions::ModReturns*, SML::Objects::AFGPlayerController*)>;

    SML_API static void subscribe(Handler handler);
};
