// Writes the PE images of the native tool tests' bind-list cases into the folder given, for the checks
// of the Windows tree's brickwright-sigcheck --loader: a mod with a list of spellings, and loaders that
// export the header's spellings, the others, neither, near misses in either table order, or that go by
// another name.
#include "bind_images.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace bindimages;

bool write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: windows-bind-images FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const std::string dll = "xinput1_3.dll";
    bool written =
        write(root / "mod" / "Brickwright.dll", modImage(sampleList())) &&
        write(root / "malformed" / "Brickwright.dll", modImage("brickwright-bind 1\nfunction f\nend\n")) &&
        write(root / "same" / dll, loaderImage(dll, {kUnrelated, kLogFile, kLoad, kAddRecipe})) &&
        write(root / "flipped" / dll,
              loaderImage(dll, {kLoadClassStruct, kAddRecipeStruct, kLoadObjectStruct, kLogFile})) &&
        write(root / "without" / dll, loaderImage(dll, {kLogFile, kLoadBothStruct})) &&
        write(root / "const" / dll, loaderImage(dll, {kLogFile, kLoad, kAddRecipeConstStruct})) &&
        write(root / "tie-const-first" / dll,
              loaderImage(dll, {kLoad, kLogFile, kAddRecipeConst, kAddRecipeVolatile})) &&
        write(root / "tie-volatile-first" / dll,
              loaderImage(dll, {kAddRecipeVolatile, kLoad, kAddRecipeConst, kLogFile})) &&
        write(root / "other-name" / dll, loaderImage("xinput1_4.dll", {kAddRecipe, kLoad, kLogFile})) &&
        write(root / "exportless" / dll, exportlessImage());
    if (!written) {
        std::fprintf(stderr, "windows-bind-images: cannot write below %s\n", argv[1]);
        return 1;
    }
    return 0;
}
