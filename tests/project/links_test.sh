#!/usr/bin/env bash
# The link check itself: over a small tree of documents it names every broken link (a missing file,
# a missing heading, a fragment into a file that is not Markdown, a broken reference definition) and
# nothing else, skips code and links with a scheme, never reads build/, and passes once they are fixed.
set -euo pipefail

check=$(cd "$(dirname "$0")" && pwd)/links.sh
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/docs" "$tree/build"

cat >"$tree/README.md" <<'MD'
# Top Title

See [the file](docs/configuration.md), [its part](docs/configuration.md#the-file-on-disk), [this](#top-title),
[a folder](docs/), [the web](https://example.com/missing.md), ![a picture](docs/missing.png).
Broken: [a file](docs/nope.md), [a heading](docs/configuration.md#nowhere), [a fragment](docs/#x).
`[code](not/a/link.md)`

```sh
[fenced](also/not.md)
```

[reference]: docs/gone.md
MD
printf '# Configuration\n\n## The file on disk\n\nBack to [the top](../README.md#top-title).\n' \
    >"$tree/docs/configuration.md"
echo '[never read](nothere.md)' >"$tree/build/notes.md"

fail() {
    echo "FAIL: $*"
    exit 1
}

status=0
out=$("$check" "$tree") || status=$?
echo "$out"
((status == 1)) || fail "exit status $status with broken links, not 1"
expected="README.md:4: docs/missing.png: no such file or folder
README.md:5: docs/nope.md: no such file or folder
README.md:5: docs/configuration.md#nowhere: no heading with the anchor #nowhere
README.md:5: docs/#x: a #fragment into a file that is not Markdown
README.md:12: docs/gone.md: no such file or folder
5 of 10 relative links in 2 Markdown files are broken"
[[ $out == "$expected" ]] || fail "expected exactly:
$expected"

# Fixed, the same tree passes.
sed -i 's|docs/missing.png|docs/configuration.md|; s|docs/nope.md|README.md|; s|#nowhere|#configuration|;
        s|docs/#x|docs/|; s|docs/gone.md|docs/configuration.md|' "$tree/README.md"
out=$("$check" "$tree") || fail "the fixed tree fails: $out"
[[ $out == "10 relative links in 2 Markdown files, all resolve" ]] || fail "unexpected: $out"
echo "ok"
