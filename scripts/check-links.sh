#!/usr/bin/env bash
# Checks every relative link in the README and in docs/: the file must exist and, with a
# #fragment, a heading of that file must give that anchor (GitHub's rule: lower case, punctuation
# dropped, blanks to hyphens). Prints each broken link and exits non-zero if there is any.
# usage: scripts/check-links.sh
set -uo pipefail
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

anchors() {  # markdown file -> one anchor per line
  awk '/^```/ { code = !code; next } !code && /^#+ / { sub(/^#+ +/, ""); print }' "$1" |
    tr '[:upper:]' '[:lower:]' | sed 's/[^[:alnum:] _-]//g; s/ /-/g'
}

links() {  # markdown file -> one link target per line, outside code
  awk '/^```/ { code = !code; next } !code' "$1" | grep -o '\]([^)]*)' | sed 's/^](//; s/)$//'
}

broken=0
pages=(README.md docs/*.md)
for page in "${pages[@]}"; do
  [ -f "$page" ] || continue
  dir=$(dirname "$page")
  while IFS= read -r link; do
    case $link in http://* | https://* | mailto:*) continue ;; esac
    file=${link%%#*} fragment=""
    [[ $link == *#* ]] && fragment=${link#*#}
    target=$page
    [ -n "$file" ] && target=$dir/$file
    if [ ! -e "$target" ]; then
      echo "$page: broken link $link (no $target)"
      broken=1
    elif [ -n "$fragment" ] && ! anchors "$target" | grep -qxF -- "$fragment"; then
      echo "$page: broken link $link (no heading for #$fragment in $target)"
      broken=1
    fi
  done < <(links "$page")
done
[ $broken = 0 ] && echo "links: every relative link of ${#pages[@]} pages resolves"
exit $broken
