#!/usr/bin/env bash
# The brickwright script's own arguments and its format verb, on scratch copies of the script:
# - `test` with a tree that does not exist exits 2 and names the trees, before building anything;
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
