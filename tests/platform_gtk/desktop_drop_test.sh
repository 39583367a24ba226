#!/usr/bin/env bash
# The desktop window with the real interface movie on a virtual X server,
# driven like a user with xdotool: a workspace from scripts/make-workspace
# with the album "Holiday" whose photo folder "First day" is open, and
#  - Escape in the main view and in the movie's "New album" question: the
#    program keeps running, the question closes and no album is made;
#  - "Add photos..." with nothing dropped: the GTK file chooser shows (and
#    Escape closes it, importing nothing);
#  - two JPEGs dragged from another program (lumireel_drag_source, a file
#    manager's part) and dropped on the photo grid: they are imported into
#    the open folder, its photos.xml lists them, and no file chooser shows;
#  - a drag that crosses the window and goes back without dropping, and a
#    drop beside the grid, import nothing, and the next "Add photos..."
#    shows the file chooser again.
# Screenshots of each step go to ARTIFACTS/desktop-drop-*.png.
#
# Usage: desktop_drop_test.sh LUMIREEL DRAG_SOURCE MOVIE ARTIFACTS BUILT
# Exits 77 (skipped) when the desktop host is not built (BUILT is not ON) or
# a tool is missing.
set -euo pipefail

absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
lumireel=$(absolute "$1")
drag_source=$(absolute "$2")
movie=$(absolute "$3")
artifacts=$(absolute "$4")
built=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_test_common.sh"

require_desktop "$built" xvfb-run xdotool xwininfo import convert compare
[ -f "$movie" ] || skip "the interface movie $movie is not built"
# Everything below runs on a virtual X server of its own.
on_own_xvfb "$0" "$@"

begin_scratch
fail() {
  echo "FAIL: $*"
  shot failed
  echo "--- program output"; cat "$scratch/app.log" 2>/dev/null || true
  echo "--- drag source output"; cat "$scratch/source.log" 2>/dev/null || true
  exit 1
}
mkdir -p "$artifacts"
rm -f "$artifacts"/desktop-drop-*.png
shot() { import -window root "$artifacts/desktop-drop-$1.png" || true; }

# The workspace, with one album and its photo folder made as the movie makes
# them; the movie opens the first album and its first folder at start.
workspace="$scratch/workspace"
LUMIREEL_MOVIE=$movie "$here/../../scripts/make-workspace" "$workspace" >/dev/null
album="$workspace/MyAlbums/1"
folder="$album/photoparts/1"
for sub in big preview; do mkdir -p "$folder/$sub"; done
for sub in keywordsDB sounds; do mkdir -p "$album/photoparts/$sub"; done
mkdir -p "$album/logo" "$album/synchronization"
printf '<?xml version="1.0" encoding="utf-8" ?><album mwidth="180" mheight="180" id="1"></album>\r\n' \
  >"$folder/photos.xml"
printf '<?xml version="1.0" encoding="utf-8" ?><parts><part folder="1" name="First day" /></parts>' \
  >"$album/photoparts/parts.xml"
catalogue="$workspace/quillmaralbumsettings/quillmaralbums.xml"
printf '%s' '<?xml version="1.0" encoding="utf-8" ?><albums location="MyAlbums"><album id="1">' \
  '<name>Holiday</name><pwidth>180</pwidth><pheight>180</pheight><bwidth>700</bwidth>' \
  '<bheight>700</bheight><skeen>snakeeye</skeen><lang>en</lang><color>0xCC00FF</color>' \
  '<logo /><ftp /></album></albums>' >"$catalogue"

# The photos to drop, in a folder whose name needs escaping in a URI.
photos="$scratch/From the card #2"
mkdir -p "$photos"
convert -size 320x240 gradient:'#d04020-#2040d0' "$photos/sunset 1.jpg"
convert -size 240x320 plasma:fractal -seed 7 "$photos/Beach é.JPG"

(cd "$workspace" && exec "$lumireel") >"$scratch/app.log" 2>&1 &
app_pid=$!

running() { kill -0 "$app_pid" 2>/dev/null; }
# The colour of the screen at X Y, as RRGGBB.
pixel() { import -window root -crop "1x1+$1+$2" -depth 8 txt:- | sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p'; }
# How many pixels of the middle of the window, where the movie's questions
# show, differ clearly between two screenshots.
middle=440x190+420+416
differing() {
  printf '%.0f' "$(compare -metric AE -fuzz 2% "$1[$middle]" "$2[$middle]" null: 2>&1 || true)"
}
photo_count() { grep -o '<photo>' "$folder/photos.xml" | wc -l; }
chooser_open() { xdotool search --onlyvisible --name '^Open$' >/dev/null 2>&1; }
click() { xdotool mousemove "$1" "$2" sleep 0.2 click 1; }
# Clicks "Add photos..." until the file chooser shows: the button does
# nothing while the movie waits for the end of an import.
open_chooser() {
  local deadline=$((SECONDS + 30))
  until chooser_open; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    running || fail "the program ended early"
    click "${add_photos[@]}"
    sleep 2
  done
}

# Where things are in the window (0, 30, 1280x964) on this screen, as the
# movie lays them out: the "Add photos..." and "New album" buttons, a spot
# of the empty photo grid, of the details pane beside it and of the empty
# sidebar below the photo folders.
add_photos=(336 165)
new_album=(123 180)
grid=(614 627)
details=(1130 600)
sidebar=(123 700)

# The movie has shown the album's folder once "Add photos..." is drawn in
# the interface's primary colour.
add_photos_drawn() { [ "$(pixel "${add_photos[@]}")" = 4F46E5 ]; }
wait_for 60 add_photos_drawn || fail "the movie did not show the album's folder"
# Keys go to the window under the pointer (the server's focus follows it).
xdotool mousemove "${grid[@]}"
sleep 0.5
shot 1-folder-open

# Escape in the main view, with nothing open, ends nothing.
xdotool key Escape
sleep 0.5
running || fail "the program ended after Escape in the main view"
import -window root "$scratch/main.png"

# Escape closes the movie's question without making an album.
click "${new_album[@]}"
sleep 1
shot 2-new-album-question
[ "$(differing "$scratch/main.png" "$artifacts/desktop-drop-2-new-album-question.png")" -gt 40000 ] ||
  fail "the New album question did not open"
xdotool key Escape
sleep 1
running || fail "the program ended after Escape in the New album question"
shot 3-question-closed
changed=$(differing "$scratch/main.png" "$artifacts/desktop-drop-3-question-closed.png")
[ "$changed" -lt 100 ] || fail "the New album question is still open ($changed pixels differ)"
grep -q '<album id="1">' "$catalogue" && [ "$(grep -o '<album ' "$catalogue" | wc -l)" -eq 1 ] ||
  fail "the catalogue changed: $(cat "$catalogue")"

# With nothing dropped, "Add photos..." shows the file chooser; Escape closes it.
open_chooser || fail "Add photos did not show the file chooser"
sleep 1
shot 4-file-chooser
# Its list of filters opened, for the screenshot (the display test checks
# the names); Escape closes the list, then the chooser.
chooser=$(xdotool search --onlyvisible --name '^Open$' | head -1)
xdotool mousemove --window "$chooser" 914 752 sleep 0.3 click 1 sleep 1
shot 4-file-chooser-filters
xdotool key Escape sleep 0.5 mousemove --window "$chooser" 200 200 sleep 0.3 key Escape
closed() { ! chooser_open; }
wait_for 20 closed || fail "Escape did not close the file chooser"
sleep 1
[ "$(photo_count)" -eq 0 ] || fail "a cancelled chooser imported photos"

# The file manager's window, over the details pane.
: >"$scratch/source.log"
"$drag_source" $((details[0] - 80)) $((details[1] - 60)) "$photos/sunset 1.jpg" \
  "$photos/Beach é.JPG" >>"$scratch/source.log" 2>&1 &
source_pid=$!
end_at_exit "$source_pid"
source_ready() { grep -q ready "$scratch/source.log" && xdotool search --onlyvisible --name '^Lumireel drag source$' >/dev/null; }
wait_for 20 source_ready || fail "the drag source did not show"
sleep 0.5

# drag X0 Y0 X1 Y1: presses on X0 Y0, moves to X1 Y1 in small steps (GTK
# starts a drag after a few pixels and the target follows each motion).
drag_path() {
  local x0=$1 y0=$2 x1=$3 y1=$4 steps=25 i
  for i in $(seq 1 "$steps"); do
    xdotool mousemove $((x0 + (x1 - x0) * i / steps)) $((y0 + (y1 - y0) * i / steps))
    sleep 0.04
  done
}

# A drag over the grid that goes back and is dropped on its own window.
xdotool mousemove "${details[@]}" sleep 0.2 mousedown 1
drag_path "${details[@]}" "${grid[@]}"
sleep 0.5
drag_path "${grid[@]}" "${details[@]}"
sleep 0.3
xdotool mouseup 1
sleep 2
[ "$(photo_count)" -eq 0 ] || fail "a drag that was not dropped on the window imported photos"
chooser_open && fail "a drag that was not dropped on the window opened the file chooser"

# The drop on the grid.
xdotool mousemove "${details[@]}" sleep 0.2 mousedown 1
drag_path "${details[@]}" "${grid[@]}"
sleep 0.5
shot 5-dragging
xdotool mouseup 1
two_photos() { [ "$(photo_count)" -eq 2 ]; }
wait_for 60 two_photos || fail "the dropped photos did not arrive in photos.xml: $(cat "$folder/photos.xml")"
chooser_open && fail "the file chooser showed although files were dropped"
# The landscape photo and the portrait one, each fitted into 180x180.
list=$(cat "$folder/photos.xml")
for size in '<w>180</w><h>135</h>' '<w>135</w><h>180</h>'; do
  grep -qF "$size" <<<"$list" || fail "no photo of $size in photos.xml: $list"
done
big_count=$(find "$folder/big" -name '*.jpg' | wc -l)
[ "$big_count" -eq 2 ] || fail "$big_count big renditions in the folder, expected 2"
# The import is over once the movie shows "Add photos..." bright again.
wait_for 30 add_photos_drawn || fail "the movie did not end the import"
sleep 1
shot 6-photos-imported

# A drop beside the grid, where the movie takes none, imports nothing; and
# the drop before answered one import only: the next "Add photos..." asks.
xdotool mousemove "${details[@]}" sleep 0.2 mousedown 1
drag_path "${details[@]}" "${sidebar[@]}"
sleep 0.5
xdotool mouseup 1
sleep 2
[ "$(photo_count)" -eq 2 ] || fail "a drop beside the grid imported photos"
chooser_open && fail "a drop beside the grid opened the file chooser"
kill "$source_pid" 2>/dev/null || true
xdotool mousemove "${grid[@]}"
open_chooser || fail "Add photos after the drop did not show the file chooser"
sleep 1
shot 7-file-chooser-again
chooser=$(xdotool search --onlyvisible --name '^Open$' | head -1)
xdotool mousemove --window "$chooser" 200 200 sleep 0.3 key Escape
wait_for 20 closed || fail "Escape did not close the file chooser"
sleep 1
[ "$(photo_count)" -eq 2 ] || fail "photos.xml changed after the cancelled chooser"
running || fail "the program ended"

echo "PASS: desktop drop into the open folder, Escape in the window and the movie's question, file chooser without a drop"
