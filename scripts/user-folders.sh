#!/bin/sh
# The invoking user's fieldservice folders, listed with a checksum of every
# file, so that a run can show it left them as they were:
#
#   sh scripts/user-folders.sh list >BEFORE        the listing
#   sh scripts/user-folders.sh compare BEFORE      status 1, naming what changed
#
# The folders: ~/.config/fieldservice, ~/.local/share/fieldservice,
# ~/.local/state/fieldservice and ~/.cache/fieldservice, and those under the
# user's XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME and XDG_CACHE_HOME when
# they are set elsewhere. A folder that does not exist is listed as absent.
set -u
HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
folders() {
  for f in "$HOME/.config/fieldservice" "$HOME/.local/share/fieldservice" \
           "$HOME/.local/state/fieldservice" "$HOME/.cache/fieldservice" \
           ${XDG_CONFIG_HOME:+"$XDG_CONFIG_HOME/fieldservice"} \
           ${XDG_DATA_HOME:+"$XDG_DATA_HOME/fieldservice"} \
           ${XDG_STATE_HOME:+"$XDG_STATE_HOME/fieldservice"} \
           ${XDG_CACHE_HOME:+"$XDG_CACHE_HOME/fieldservice"}; do
    echo "$f"
  done | sort -u
}
list() {
  folders | while IFS= read -r f; do
    if [ ! -e "$f" ] && [ ! -L "$f" ]; then
      echo "absent $f"
      continue
    fi
    find "$f" -print | LC_ALL=C sort | while IFS= read -r p; do
      if [ -L "$p" ]; then
        echo "link $p -> $(readlink "$p")"
      elif [ -d "$p" ]; then
        echo "folder $p"
      elif [ -f "$p" ]; then
        echo "file $p $(sha256sum <"$p" | cut -d' ' -f1)"
      else
        echo "other $p"
      fi
    done
  done
}
case "${1:-}" in
  list) list ;;
  compare)
    [ "$#" -eq 2 ] && [ -r "$2" ] || { echo "usage: $0 compare BEFORE" >&2; exit 2; }
    now=$(mktemp) || exit 2
    list >"$now"
    if cmp -s "$2" "$now"; then
      rm -f "$now"
      echo "user folders: the invoking user's fieldservice folders are unchanged"
      exit 0
    fi
    echo "user folders: the run changed the invoking user's fieldservice folders:" >&2
    # Lines only before: gone or changed; only after: new or changed.
    LC_ALL=C sort "$2" >"$now.before"
    LC_ALL=C sort "$now" >"$now.after"
    LC_ALL=C comm -23 "$now.before" "$now.after" | sed 's/^/  before: /' >&2
    LC_ALL=C comm -13 "$now.before" "$now.after" | sed 's/^/  after:  /' >&2
    rm -f "$now" "$now.before" "$now.after"
    exit 1
    ;;
  *) echo "usage: $0 list | compare BEFORE" >&2; exit 2 ;;
esac
