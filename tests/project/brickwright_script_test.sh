#!/usr/bin/env bash
# The brickwright script's own arguments and its format verb, on scratch copies of the script:
# - `test` with a tree that does not exist exits 2 and names the trees, before building anything;
# - every verb refuses what it does not know with one line naming it and one on where help is, exit
#   status 2, before building or installing anything; what it knows reaches the build and the program;
# - `package` prints the zip's path, and only that, on stdout;
# - `format --check` changes nothing, exits 1 and names exactly the files that differ, never those in
#   build/; `format` rewrites them; then `--check` passes. Both in a git checkout (untracked files
#   count, ignored ones do not) and outside one.
set -euo pipefail

source_root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

status=0
err=$("$source_root/brickwright" test native bogus 2>&1 >/dev/null) || status=$?
((status == 2)) || fail "test with an unknown tree: exit status $status, not 2"
[[ $err == *"no tree 'bogus'"*"native windows sanitize"* ]] || fail "test with an unknown tree said: $err"

# A tree of the script alone, with stand-ins for what it would run: cmake, dpkg-query and apt-get
# record their calls, the built programs say how they were started. A refusal must come before any of
# them runs.
stub_tree=$scratch/stubbed
mkdir -p "$stub_tree/stubs" "$stub_tree/tests/fuzz" "$stub_tree/build/native/bin" "$stub_tree/build/windows" \
    "$stub_tree/cmake" "$stub_tree/standin/host"
cp "$source_root/brickwright" "$stub_tree/"
# What the script reads from the tree: how it reads a build tree's cache, the stand-in loader's forms.
cp "$source_root/cmake/cache_values.cmake" "$stub_tree/cmake/"
cp "$source_root/standin/host/CMakeLists.txt" "$stub_tree/standin/host/"
for f in "$source_root"/tests/fuzz/fuzz_*.cpp; do
    touch "$stub_tree/tests/fuzz/${f##*/}"
done
calls=$stub_tree/calls
real_cmake=$(command -v cmake)
cat >"$stub_tree/stubs/cmake" <<STUB
#!/usr/bin/env bash
echo "cmake \$*" >>"\$STUB_CALLS"
[[ \$1 != -P ]] || exec "$real_cmake" "\$@" # the script reads the cache through CMake itself
STUB
cat >>"$stub_tree/stubs/cmake" <<'STUB'
if [[ $1 == --build && " $* " == *" package-zip "* ]]; then
    mkdir -p "$STUB_TREE/dist"
    : >"$STUB_TREE/dist/Brickwright-9.8.7-win64.zip"
    echo "wrote $STUB_TREE/dist/Brickwright-9.8.7-win64.zip"
fi
STUB
printf '#!/usr/bin/env bash\necho "dpkg-query $*" >>"$STUB_CALLS"\necho "install ok installed"\n' \
    >"$stub_tree/stubs/dpkg-query"
printf '#!/usr/bin/env bash\necho "apt-get $*" >>"$STUB_CALLS"\n' >"$stub_tree/stubs/apt-get"
# Their --help prints the option lines of the real programs' help texts (Google Benchmark's in its form).
grep -o '"  -[^"]*' "$source_root/standin/game/src/options.cpp" | sed 's/^"//; s/\\n$//' >"$stub_tree/brickwright-game.help"
{
    grep -o '"  -[^"]*' "$source_root/bench/main.cpp" | sed 's/^"//; s/\\n$//'
    printf 'benchmark [--benchmark_list_tests={true|false}]\n          [--benchmark_filter=<regex>]\n'
    printf '          [--v=<verbosity>]\n'
} >"$stub_tree/brickwright-bench.help"
for program in brickwright-game brickwright-bench; do
    printf '#!/usr/bin/env bash\n[[ $* != --help ]] || exec cat "%s"\necho "%s [${BRICKWRIGHT_GAME_COMMAND:-}] $*"\n' \
        "$stub_tree/$program.help" "$program" >"$stub_tree/build/native/bin/$program"
done
chmod +x "$stub_tree"/stubs/* "$stub_tree"/build/native/bin/*
printf 'CMAKE_HOME_DIRECTORY:INTERNAL=%s\nBRICKWRIGHT_DIST_DIR:PATH=%s/dist\nCMAKE_PROJECT_VERSION:STATIC=9.8.7\n' \
    "$stub_tree" "$stub_tree" >"$stub_tree/build/windows/CMakeCache.txt"

stubbed() { # stubbed ARGS...: runs the tree's script; sets out, err, status
    status=0
    out=$(PATH="$stub_tree/stubs:$PATH" STUB_CALLS=$calls STUB_TREE=$stub_tree "$stub_tree/brickwright" "$@" \
        2>"$scratch/err") || status=$?
    err=$(cat "$scratch/err")
}

# Each: the arguments (| between them), ^, what the first line names, ^, the help the second names.
refusals=(
    "package|--nonsense^package: unexpected argument '--nonsense'^./brickwright help"
    "deps|--nonsense^deps: unexpected argument '--nonsense'^./brickwright help"
    "format|--nonsense^format: unknown option '--nonsense'^./brickwright help"
    "format|--check|extra^format: unexpected argument 'extra'^./brickwright help"
    "fuzz^fuzz: which target? (config-file discovery engine-tables pattern-maker pattern-scan pattern-text pe-reader reconcile)^./brickwright help"
    "fuzz|reconcile|10|more^fuzz: unexpected argument 'more'^./brickwright help"
    "bench|--nonsense^bench: unknown option '--nonsense'^./brickwright bench --help"
    "bench|--json|--nonsense|--frobnicate=2^bench: unknown option '--frobnicate'^./brickwright bench --help"
    "bench|results.json^bench: unexpected argument 'results.json'^./brickwright bench --help"
    "demo|--nonsense^demo: unknown option '--nonsense'^./brickwright demo --help"
    "demo|--windows|--controllers|2|--frobnicate=1^demo: unknown option '--frobnicate'^./brickwright demo --help"
    "demo|--game-dir=g|game-dir^demo: unexpected argument 'game-dir'^./brickwright demo --help"
    "demo|--windows|--loader|x^demo: --loader: 'x' is none of: flipped-keys without-add-recipe^./brickwright help"
    "demo|--loader=^demo: --loader: '' is none of: flipped-keys without-add-recipe^./brickwright help"
    "demo|--loader=flipped-keys|--controllers|2^demo: --loader needs --windows (natively the names carry no class keys)^./brickwright help"
    "demo|--windows|--loader^demo: --loader needs a value^./brickwright help"
    "frobnicate^unknown verb 'frobnicate'^./brickwright help' for the verbs."
)
for refusal in "${refusals[@]}"; do
    IFS='^' read -r arguments named help <<<"$refusal"
    IFS='|' read -r -a arguments <<<"$arguments"
    rm -f "$calls"
    stubbed "${arguments[@]}"
    what="${arguments[*]}"
    ((status == 2)) || fail "$what: exit status $status, not 2"
    [[ -z $out ]] || fail "$what: stdout: $out"
    [[ $err == "brickwright: $named"$'\n'"Try '$help"* ]] || fail "$what: stderr: $err"
    (($(wc -l <<<"$err") == 2)) || fail "$what: more than two lines: $err"
    [[ ! -e $calls ]] || fail "$what: ran $(cat "$calls")"
done

# What they do know goes on: the build (here cmake's stand-in), then the program, the game told how the
# user started it.
stubbed demo --game-dir g --missing-recipe=Wall007 --late-engine both --late-engine-at=2 --without-class-class -h
((status == 0)) || fail "demo: exit status $status: $err"
[[ $out == "brickwright-game [./brickwright demo] --game-dir g --missing-recipe=Wall007 --late-engine both --late-engine-at=2 --without-class-class -h" ]] ||
    fail "demo ran: $out"
stubbed bench --json r.json --image=f --benchmark_filter=scan --v=1 --byte-frequencies --help
((status == 0)) || fail "bench: exit status $status: $err"
[[ $out == "brickwright-bench [] --json r.json --image=f --benchmark_filter=scan --v=1 --byte-frequencies --help" ]] ||
    fail "bench ran: $out"
# package: the zip's path alone on stdout; the build's words on stderr.
rm -f "$calls"
stubbed package
((status == 0)) || fail "package: exit status $status: $err"
[[ $out == "$stub_tree/dist/Brickwright-9.8.7-win64.zip" ]] || fail "package printed on stdout: $out"
[[ $err == *"wrote $stub_tree/dist/Brickwright-9.8.7-win64.zip"* ]] || fail "package said on stderr: $err"
grep -q -- '--target package-zip' "$calls" || fail "package did not build package-zip: $(cat "$calls")"
rm "$stub_tree/dist/Brickwright-9.8.7-win64.zip"
sed -i '/package-zip/,$d' "$stub_tree/stubs/cmake" # a build that writes no zip
stubbed package
((status == 1)) || fail "package without a zip: exit status $status"
[[ -z $out && $err == *"the build did not write $stub_tree/dist/Brickwright-9.8.7-win64.zip"* ]] ||
    fail "package without a zip said: $out / $err"

# The options the script lets through are the ones the programs' --help lists, and no others.
printf '  --new-option N          what a newer game would take\n' >>"$stub_tree/brickwright-game.help"
stubbed demo --new-option 3 --controllers=2
[[ $status == 0 && $out == "brickwright-game [./brickwright demo] --new-option 3 --controllers=2" ]] ||
    fail "demo with an option the game's --help lists: $status: $out $err"
sed -i '/--controllers/d' "$stub_tree/brickwright-game.help"
rm -f "$calls"
stubbed demo --controllers 2
[[ $status == 2 && $err == "brickwright: demo: unknown option '--controllers'"* && ! -e $calls ]] ||
    fail "demo with an option the game's --help does not list: $status: $err"

if ! command -v clang-format >/dev/null 2>&1; then
    echo "clang-format is not installed: the format verb is not checked"
    exit 77
fi

# A tree of its own: the script, the project's style, sources formatted and not, a build tree.
make_tree() { # make_tree DIR
    mkdir -p "$1/src/sub" "$1/build/native"
    cp "$source_root/brickwright" "$source_root/.clang-format" "$1/"
    printf 'int good() {\n    return 1;\n}\n' >"$1/src/good.cpp"
    printf 'int  bad( ){return 2;}\n' >"$1/src/sub/bad.hpp"
    printf 'int  generated( ){return 3;}\n' >"$1/build/native/generated.cpp"
}

check_tree() { # check_tree DIR
    local tree=$1 out status=0 before
    before=$(cat "$tree/src/sub/bad.hpp")
    out=$("$tree/brickwright" format --check 2>&1) || status=$?
    ((status == 1)) || fail "$tree: format --check on an unformatted file: exit status $status, not 1"
    [[ $out == *"1 of 2 files differ"* && $out == *"  src/sub/bad.hpp"* ]] || fail "$tree: --check said: $out"
    [[ $out != *good.cpp* && $out != *generated.cpp* ]] || fail "$tree: --check named another file: $out"
    [[ $(cat "$tree/src/sub/bad.hpp") == "$before" ]] || fail "$tree: --check changed the file"

    "$tree/brickwright" format >/dev/null 2>&1 || fail "$tree: format failed"
    [[ $(cat "$tree/src/sub/bad.hpp") == $'int bad() {\n    return 2;\n}' ]] ||
        fail "$tree: format wrote: $(cat "$tree/src/sub/bad.hpp")"
    [[ $(cat "$tree/build/native/generated.cpp") == 'int  generated( ){return 3;}' ]] ||
        fail "$tree: format touched the build tree"
    "$tree/brickwright" format --check >/dev/null 2>&1 || fail "$tree: --check fails after format"
}

make_tree "$scratch/plain"
check_tree "$scratch/plain"

make_tree "$scratch/checkout"
printf '/build/\n' >"$scratch/checkout/.gitignore"
git -C "$scratch/checkout" init -q
git -C "$scratch/checkout" add .gitignore src/good.cpp # bad.hpp stays untracked: it counts too
check_tree "$scratch/checkout"

status=0
"$scratch/plain/brickwright" format --fix >/dev/null 2>&1 || status=$?
((status == 2)) || fail "format with an unknown option: exit status $status, not 2"
echo "ok"
