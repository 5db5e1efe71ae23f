#!/usr/bin/env bash
# The bash completion offers what --help and the man page describe.
# Usage: completion_test.sh PROGRAM COMPLETION_FILE MAN_PAGE
set -euo pipefail
program=$1 completion=$2 manpage=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

# shellcheck source=/dev/null
source "$completion"

# complete WORD...: the completions offered for the last word.
complete_words() {
  COMP_WORDS=(sievetext "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _sievetext
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

help=$("$program" --help)
for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
  grep -q -- "$option" "$completion" || fail "completion lacks $option"
  grep -q -- "$(sed 's/-/\\\\-/g' <<<"$option")" "$manpage" || fail "man page lacks $option"
done
for short in $(grep -oE -- '^  -[a-z],' <<<"$help" | tr -d ' ,'); do
  grep -q -- " $short " "$completion" || fail "completion lacks $short"
done

names="GenerateSpecialChars RemoveAllCRLF RemoveAllTags RemoveBlankLines RemoveComments RemoveFunctions RemovePipe RemoveScripts RemoveSpaces RemoveStyles RemoveTabs all "
[ "$(complete_words --with '')" = "$names" ] || fail "--with NAME: $(complete_words --with '')"
[ "$(complete_words --without = '')" = "$names" ] || fail "--without=NAME: $(complete_words --without = '')"
[ "$(complete_words --without = RemoveS)" = "RemoveScripts RemoveSpaces RemoveStyles " ] ||
  fail "--without=RemoveS: $(complete_words --without = RemoveS)"
# In any letter case, as the program takes the names.
[ "$(complete_words --without removes)" = "RemoveScripts RemoveSpaces RemoveStyles " ] ||
  fail "--without removes: $(complete_words --without removes)"
[ "$(complete_words --with = ALL)" = "all " ] || fail "--with=ALL: $(complete_words --with = ALL)"
[ "$(complete_words --w)" = "--window --with= --without= " ] || fail "--w: $(complete_words --w)"
[ "$(complete_words -q --ver)" = "--version " ] || fail "--ver: $(complete_words -q --ver)"
echo "completion test passed"
