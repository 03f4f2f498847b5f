// The naming of what differs between the name a mod imports and the name a loader exports: pairs of
// decorated names that differ in one known way each, demangled by this build's demangler; and the
// same comparisons on the text that dbghelp writes, which spaces templates and pointers otherwise.
#include "sigcheck/demangle.hpp"
#include "sigcheck/loader_check.hpp"
#include "sigcheck/name_parts.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sigcheck::demangle;
using sigcheck::NameParts;
using sigcheck::splitName;

std::vector<std::string> differencesOfText(const std::string& mod, const std::string& loader) {
    const std::optional<NameParts> a = splitName(mod);
    const std::optional<NameParts> b = splitName(loader);
    if (!a || !b) {
        ADD_FAILURE() << "cannot split " << mod << " or " << loader;
        return {};
    }
    return sigcheck::nameDifferences(*a, *b);
}

std::vector<std::string> differences(const std::string& mod, const std::string& loader) {
    const std::optional<std::string> a = demangle(mod);
    const std::optional<std::string> b = demangle(loader);
    if (!a || !b) {
        ADD_FAILURE() << "cannot demangle " << mod << " or " << loader;
        return {};
    }
    return differencesOfText(*a, *b);
}

using Lines = std::vector<std::string>;

TEST(NameDifferences, NameTheOnePartInWhichTwoDecoratedNamesDiffer) {
    const struct {
        const char* what;
        const char* mod;
        const char* loader;
        Lines expected;
    } kCases[] = {
        {"the same name",
         "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z",
         "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z",
         {}},
        {"a class key",
         "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z",
         "?addRecipe@Functions@Mod@SML@@YAXPEAUUClass@SDK@@@Z",
         {"parameter 1: class/struct key of SDK::UClass: class in the mod, struct in the loader"}},
        {"a calling convention",
         "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z",
         "?addRecipe@Functions@Mod@SML@@YGXPEAVUClass@SDK@@@Z",
         {"calling convention: `__cdecl` in the mod, `__stdcall` in the loader"}},
        {"a const member function",
         "?info@Mod@1SML@@QEBAAEBUInfo@112@XZ",
         "?info@Mod@1SML@@QEAAAEBUInfo@112@XZ",
         {"member function qualifiers: a missing const: `const` in the mod, (nothing) in the loader (the "
          "loader's lacks it)"}},
        {"a parameter's type",
         "?log@Utility@SML@@YAXW4LogType@12@@Z",
         "?log@Utility@SML@@YAXH@Z",
         {"parameter 1: `enum SML::Utility::LogType` in the mod, `int` in the loader"}},
        {"a parameter's const",
         "?loadObjectFromPak@Functions@Mod@SML@@YAPEAVUObject@SDK@@PEAVUClass@5@PEB_W@Z",
         "?loadObjectFromPak@Functions@Mod@SML@@YAPEAVUObject@SDK@@PEAVUClass@5@PEA_W@Z",
         {"parameter 2: a missing const: `wchar_t const *` in the mod, `wchar_t *` in the loader (the "
          "loader's "
          "lacks it)"}},
        {"a return type",
         "?loadObjectFromPak@Functions@Mod@SML@@YAPEAVUObject@SDK@@PEAVUClass@5@PEB_W@Z",
         "?loadObjectFromPak@Functions@Mod@SML@@YAPEAXPEAVUClass@SDK@@PEB_W@Z",
         {"return type: `class SDK::UObject *` in the mod, `void *` in the loader"}},
        {"a pointer for a reference",
         "??0Mod@0SML@@QEAA@AEBUInfo@001@@Z",
         "??0Mod@0SML@@QEAA@PEBUInfo@001@@Z",
         {"parameter 1: pointer or reference: `struct SML::Mod::Mod::Info const &` in the mod, `struct "
          "SML::Mod::Mod::Info const *` in the loader"}},
        {"the number of parameters",
         "?log@Utility@SML@@YAXW4LogType@12@@Z",
         "?log@Utility@SML@@YAXXZ",
         {"parameter count: 1 in the mod, 0 in the loader"}},
        {"static against an instance member",
         "?subscribe@Hooks@@SAXH@Z",
         "?subscribe@Hooks@@QEAAXH@Z",
         {"member kind (access, static, virtual): `public: static` in the mod, `public:` in the loader"}},
        {"a variable's type",
         "?logFile@Utility@SML@@3V?$basic_ofstream@DU?$char_traits@D@std@@@std@@A",
         "?logFile@Utility@SML@@3V?$basic_ofstream@_WU?$char_traits@_W@std@@@std@@A",
         {"type: `class std::basic_ofstream<char, struct std::char_traits<char>>` in the mod, `class "
          "std::basic_ofstream<wchar_t, struct std::char_traits<wchar_t>>` in the loader"}},
        {"a variable against a function",
         "?logFile@Utility@SML@@3HA",
         "?logFile@Utility@SML@@YAXXZ",
         {"kind: a variable in the mod, a function in the loader"}},
        {"two differences at once",
         "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z",
         "?addRecipe@Functions@Mod@SML@@YGHPEAUUClass@SDK@@@Z",
         {"return type: `void` in the mod, `int` in the loader",
          "calling convention: `__cdecl` in the mod, `__stdcall` in the loader",
          "parameter 1: class/struct key of SDK::UClass: class in the mod, struct in the loader"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(differences(c.mod, c.loader), c.expected);
    }
}

TEST(NameDifferences, FindTheClassKeyInsideATemplateArgumentOfAHooksParameter) {
    const std::string mod =
        "?subscribe@?$HookInvoker@P8AFGPlayerController@Objects@SML@@EAAXXZ$1?BeginPlay@123@"
        "QEAAXXZ@@SAXV?$function@$$A6AXPEAUModReturns@Functions@Mod@SML@@PEAVAFGPlayerCon"
        "troller@Objects@4@@Z@std@@@Z";
    std::string loader = mod;
    loader.replace(loader.find("PEAUModReturns"), 14, "PEAVModReturns");
    EXPECT_EQ(
        differences(mod, loader),
        Lines{"parameter 1: class/struct key of SML::Mod::Functions::ModReturns: struct in the mod, class in "
              "the loader"});

    const std::optional<std::string> text = demangle(mod);
    ASSERT_TRUE(text);
    const std::optional<NameParts> parts = splitName(*text);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->qualifiedName,
              "HookInvoker<void (__cdecl SML::Objects::AFGPlayerController::*)(void), "
              "&public: void __cdecl SML::Objects::AFGPlayerController::BeginPlay(void)>::"
              "subscribe");
    EXPECT_EQ(parts->memberKind, "public: static");
    EXPECT_EQ(parts->type, "void");
    EXPECT_EQ(parts->callingConvention, "__cdecl");
    ASSERT_TRUE(parts->parameters);
    ASSERT_EQ(parts->parameters->size(), 1u);
    EXPECT_EQ(parts->parameters->front(),
              "class std::function<void __cdecl(struct SML::Mod::Functions::ModReturns "
              "*, class SML::Objects::AFGPlayerController *)>");
}

TEST(NameDifferences, SplitConstructorsDestructorsVariablesAndOperators) {
    const std::optional<NameParts> constructor =
        splitName("public: __cdecl SML::Mod::Mod::Mod(struct SML::Mod::Mod::Info const &)");
    ASSERT_TRUE(constructor);
    EXPECT_EQ(constructor->qualifiedName, "SML::Mod::Mod::Mod");
    EXPECT_EQ(constructor->type, "");
    EXPECT_EQ(constructor->parameters, Lines{"struct SML::Mod::Mod::Info const &"});

    const std::optional<NameParts> destructor =
        splitName("public: virtual __cdecl SML::Mod::Mod::~Mod(void)");
    ASSERT_TRUE(destructor);
    EXPECT_EQ(destructor->qualifiedName, "SML::Mod::Mod::~Mod");
    EXPECT_EQ(destructor->memberKind, "public: virtual");
    EXPECT_EQ(destructor->parameters, Lines{});

    const std::optional<NameParts> table = splitName("const SML::Mod::Mod::`vftable'");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->qualifiedName, "SML::Mod::Mod::`vftable'");
    EXPECT_EQ(table->type, "const");
    EXPECT_FALSE(table->parameters);

    const std::optional<NameParts> less =
        splitName("public: bool __cdecl Key::operator<(class Key const &) const");
    ASSERT_TRUE(less);
    EXPECT_EQ(less->qualifiedName, "Key::operator<");
    EXPECT_EQ(less->parameters, Lines{"class Key const &"});
    EXPECT_EQ(less->qualifiers, "const");
    const std::optional<NameParts> call = splitName("public: int __cdecl Functor::operator()(int, int)");
    ASSERT_TRUE(call);
    EXPECT_EQ(call->qualifiedName, "Functor::operator()");
    EXPECT_EQ(call->parameters, (Lines{"int", "int"}));

    EXPECT_FALSE(splitName(""));
    EXPECT_FALSE(demangle("ModCreate"));
    EXPECT_FALSE(demangle("?not@a@valid"));
}

// dbghelp's UnDecorateSymbolName, on Windows, writes "> >", "* __ptr64" and "(void)const __ptr64".
TEST(NameDifferences, ReadDbghelpsSpellingAsTheSameNames) {
    EXPECT_TRUE(sigcheck::sameText(
        "class std::basic_ofstream<char,struct std::char_traits<char> > SML::Utility::logFile",
        "class std::basic_ofstream<char, struct std::char_traits<char>> SML::Utility::logFile"));
    EXPECT_FALSE(
        sigcheck::sameText("void __cdecl f(class A * __ptr64)", "void __cdecl f(struct A * __ptr64)"));

    EXPECT_EQ(differencesOfText("void __cdecl SML::Mod::Functions::addRecipe(class SDK::UClass * __ptr64)",
                                "void __cdecl SML::Mod::Functions::addRecipe(struct SDK::UClass * __ptr64)"),
              Lines{"parameter 1: class/struct key of SDK::UClass: class in the mod, struct in the loader"});
    EXPECT_EQ(
        differencesOfText(
            "public: struct SML::Mod::Mod::Info const & __ptr64 __cdecl SML::Mod::Mod::info(void)const "
            "__ptr64",
            "public: struct SML::Mod::Mod::Info const & __ptr64 __cdecl SML::Mod::Mod::info(void) __ptr64"),
        Lines{"member function qualifiers: a missing const: `const __ptr64` in the mod, `__ptr64` in the "
              "loader (the loader's lacks it)"});
    // Each demangler's text against the other's for the same name: nothing differs.
    const std::optional<std::string> llvm = demangle("?info@Mod@1SML@@QEBAAEBUInfo@112@XZ");
    ASSERT_TRUE(llvm);
    EXPECT_EQ(differencesOfText(*llvm, "public: struct SML::Mod::Mod::Info const & __ptr64 __cdecl "
                                       "SML::Mod::Mod::info(void)const __ptr64"),
              Lines{});
}

// Wine's dbghelp cannot read every template the host interface holds. Such a name is still matched
// with the loader's exports of the same function, by its decorated name, and the class key told from
// the letters the decoration uses for it.
TEST(NameDifferences, FallBackOnTheDecoratedNamesWhereTheDemanglerCannotReadOne) {
    const std::string unreadable = "?subscribe@?$Hook@$Z@@SAXPEAUModReturns@@@Z";
    std::string asClass = unreadable;
    asClass.replace(asClass.find("PEAU"), 4, "PEAV");
    ASSERT_FALSE(demangle(unreadable));
    EXPECT_EQ(sigcheck::decoratedFunctionName(unreadable), "?subscribe@");
    EXPECT_EQ(sigcheck::decoratedFunctionName("??0Mod@0SML@@QEAA@AEBUInfo@001@@Z"), "??0Mod@");
    EXPECT_EQ(sigcheck::decoratedFunctionName("ModCreate"), "ModCreate");
    EXPECT_EQ(sigcheck::decoratedDifference(unreadable, asClass),
              "class/struct key of ModReturns: struct (U) in the mod, class (V) in the loader (told from the "
              "decorated names)");
    EXPECT_EQ(
        sigcheck::decoratedDifference("?info@Mod@1SML@@QEBAAEBUInfo@112@XZ",
                                      "?info@Mod@1SML@@QEAAAEBUInfo@112@XZ"),
        "decorated names part at character 19: `...1SML@@QEBAAEBUIn...` in the mod, `...1SML@@QEAAAEBUIn...` "
        "in the loader");

    const std::string addRecipe = "?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z";
    const std::vector<pe::Import> imports = {
        {"KERNEL32.dll", {{"ExitProcess", std::nullopt, 0}}},
        {"XInput1_3.DLL", {{unreadable, std::nullopt, 0}, {addRecipe, std::nullopt, 0}, {"", 7, 0}}},
    };
    const std::vector<pe::Export> exports = {
        {"?subscribe@Other@@SAXXZ", 0x1000, false}, {asClass, 0x1010, false}, {addRecipe, 0x1020, false}};
    const brickwright::Result<sigcheck::LoaderReport> report = sigcheck::checkLoader(
        "mod.dll", std::nullopt, imports, "/loaders/xinput1_3.dll", "xinput1_3.dll", exports);
    ASSERT_TRUE(report) << report.error().message;
    EXPECT_EQ(report->dll, "xinput1_3.dll");
    ASSERT_EQ(report->functions.size(), 3u);
    EXPECT_EQ(report->missing(), 2u);
    const sigcheck::FunctionCheck& hook = report->functions[0];
    EXPECT_FALSE(hook.bound);
    EXPECT_FALSE(hook.demangled);
    ASSERT_TRUE(hook.closest);
    EXPECT_EQ(hook.closest->name, asClass);
    EXPECT_EQ(hook.closest->differences, Lines{sigcheck::decoratedDifference(unreadable, asClass)});
    EXPECT_EQ(report->functions[1].binding(), sigcheck::Binding::Header);
    EXPECT_EQ(report->functions[1].functionName, "SML::Mod::Functions::addRecipe");
    // An import by ordinal cannot be told from named exports: missing, and the table says why.
    EXPECT_EQ(report->functions[2].ordinal, std::optional<std::uint16_t>(7));
    EXPECT_EQ(report->functions[2].binding(), sigcheck::Binding::Missing);
    // Shown decorated, once: there is no other form to show.
    const std::string table = sigcheck::toTable(*report);
    EXPECT_THAT(table,
                testing::HasSubstr("  missing  " + unreadable + "\n           closest export: " + asClass +
                                   "\n           differs in class/struct key of ModReturns"));
    EXPECT_THAT(table,
                testing::HasSubstr("  missing  ordinal 7 (imported by ordinal: the loader's exports are "
                                   "checked by name only)\n"));

    const brickwright::Result<sigcheck::LoaderReport> elsewhere = sigcheck::checkLoader(
        "mod.dll", std::nullopt, imports, "C:\\loaders\\other.dll", "other.dll", exports);
    ASSERT_FALSE(elsewhere);
}

} // namespace
