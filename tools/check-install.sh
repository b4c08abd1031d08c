#!/usr/bin/env bash
# Installs a Linux build into a temporary prefix and checks what lands where: the programs, their
# manual pages (which must render without a warning), brxtool's bash completion, which must
# complete from the installed program's help, the README and the manifest schema.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
expected="bin/brx
bin/brxtool
share/bash-completion/completions/brxtool
share/doc/brx/README.md
share/doc/brx/manifest.schema.json
share/man/man1/brx.1
share/man/man1/brxtool.1"
diff -u <(echo "$expected") <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)

for page in "$prefix"/share/man/man1/*.1; do
  warnings=$(groff -ww -z -man -Tutf8 "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$page: $warnings" >&2
    exit 1
  fi
  lexgrog "$page"
done

# What bash hands the completion for a command line: its words, with '=' a word of its own.
completes() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1/share/bash-completion/completions/brxtool"
    PATH=$1/bin:$PATH COMP_LINE=$2 COMP_POINT=${#2}
    read -ra COMP_WORDS <<< "${COMP_LINE//=/ = }"
    [[ $COMP_LINE == *" " || $COMP_LINE == *= ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _brxtool brxtool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    echo "${COMPREPLY[*]}"' bash "$prefix" "$1"
}
check_completion() {
  local got
  got=$(completes "$1")
  if [ "$got" != "$2" ]; then
    echo "completing '$1' gave '$got', not '$2'" >&2
    exit 1
  fi
}
check_completion "brxtool con" "convert"
check_completion "brxtool merge --" "--out --prefer --to --help"
check_completion "brxtool convert --too-long=c" "cut"
check_completion "brxtool list --from " "brx tap e11 aws het"
check_completion "brxtool changer l" "load"
echo "installed: $(echo "$expected" | wc -l) files; manual pages render cleanly; completion answers"
