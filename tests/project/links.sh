#!/usr/bin/env bash
# Every relative link in the project's Markdown files leads somewhere: the file or folder it names
# exists, and a #fragment names a heading of the Markdown file it points into. Links with a scheme
# (https:, mailto:) are not followed; fenced code blocks and inline code are not prose.
#
#   links.sh ROOT
#
# Reads every *.md below ROOT but build/, dist/ and .git/ (never walked: a Wine prefix alone holds
# thousands of files); prints each broken link as file:line and exits 1 when there is one.
set -euo pipefail

root=${1:?usage: links.sh ROOT}
root=$(cd "$root" && pwd)

# The file's prose: code blocks and code spans blanked, so that line numbers stay.
prose() {
    awk '/^ *```/ { fenced = !fenced; print ""; next }
         fenced   { print ""; next }
                  { gsub(/`[^`]*`/, ""); print }' "$1"
}

# The anchors of a Markdown file's headings: lower case, punctuation but - and _ dropped, spaces as -.
anchors() {
    prose "$1" | sed -n 's/^#\{1,6\} \{1,\}//p' | tr 'A-Z' 'a-z' | sed 's/[^a-z0-9 _-]//g; s/ /-/g'
}

broken=0 checked=0 files=0
while IFS= read -r -d '' document; do
    files=$((files + 1))
    directory=$(dirname "$document")
    shown=${document#"$root"/}
    # Inline links and images: ](target) or ](target "title"); reference definitions: [label]: target.
    while IFS=: read -r number match; do
        case $match in
            '](<'*) target=${match#']('} target=${target#<} target=${target%>} ;;
            ']('*) target=${match#']('} ;;
            *) target=$(sed 's/^ *\[[^]]*\]: *//' <<<"$match") target=${target#<} target=${target%>} ;;
        esac
        [[ $target =~ ^[A-Za-z][A-Za-z0-9+.-]*: ]] && continue
        checked=$((checked + 1))
        path=${target%%#*}
        fragment=
        [[ $target == *'#'* ]] && fragment=${target#*#}
        if [[ -z $path ]]; then
            resolved=$document
        else
            resolved=$directory/$path
        fi
        if [[ ! -e $resolved ]]; then
            echo "$shown:$number: $target: no such file or folder"
            broken=$((broken + 1))
        elif [[ -n $fragment ]]; then
            if [[ -d $resolved || $resolved != *.md ]]; then
                echo "$shown:$number: $target: a #fragment into a file that is not Markdown"
                broken=$((broken + 1))
            elif ! anchors "$resolved" | grep -qxF -- "$fragment"; then
                echo "$shown:$number: $target: no heading with the anchor #$fragment"
                broken=$((broken + 1))
            fi
        fi
    done < <(prose "$document" | grep -noE '\]\(<[^>]+>|\]\([^) ]+|^ *\[[^]]+\]: +[^ ]+' || true)
done < <(find "$root" \( -path "$root/build" -o -path "$root/dist" -o -path "$root/.git" \) -prune -o \
    -type f -name '*.md' -print0 | sort -z)

if ((broken > 0)); then
    echo "$broken of $checked relative links in $files Markdown files are broken"
    exit 1
fi
echo "$checked relative links in $files Markdown files, all resolve"
