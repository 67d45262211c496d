# Shared by the end-to-end scripts that run on a virtual display with a tray host: starting the
# host, finding the tray icon, its menu and the message dialog, and sampling the icon's pictures.
# Sourced after e2e_lib.sh; screenshots go to BIN_DIR/../screenshots.
shots=$(cd "$bin_dir/.." && pwd)/screenshots
mkdir -p "$shots"

shot() { import -window root "$shots/$1.png" || fail "no screenshot $1"; }

start_tray_host() { start_xvfb; start_trayer; }

# The tray icon's window, embedded in the tray host; its geometry lands in X, Y, WIDTH, HEIGHT.
icon_window() { xdotool search --classname qelto-callerid 2>/dev/null | while read -r w; do
  [ "$(xwininfo -id "$w" | awk '/Width:/ {print $2}')" -lt 64 ] && { echo "$w"; break; }; done; }
icon_shown() { [ -n "$(icon_window)" ]; }
locate_icon() {
  wait_until 15 icon_shown || fail "no tray icon"
  eval "$(xdotool getwindowgeometry --shell "$(icon_window)")"
}
# Distinct pictures the icon showed over two seconds: the blink alternates two of them. Told apart
# by a signature of their pixels alone: the PNG files themselves always differ, by the time stamp
# ImageMagick writes into them.
icon_pictures() {
  for i in 1 2 3 4 5 6 7 8; do
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$scratch/icon$i.png"
    sleep 0.25
  done
  identify -format '%#\n' "$scratch"/icon*.png | sort -u | wc -l
}

menu_window() { xdotool search --onlyvisible --classname qelto-callerid 2>/dev/null | while read -r w; do
  [ "$w" != "$(icon_window)" ] && [ "$(xdotool getwindowname "$w")" != "پيغام" ] && { echo "$w"; break; }; done; }
menu_open() { [ -n "$(menu_window)" ]; }

choose_exit() {  # right click on the icon, then "EXIT" in the menu
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
  wait_until 5 menu_open || fail "the right click opened no menu"
  shot "${1:-}menu"
  eval "$(xdotool getwindowgeometry --shell "$(menu_window)" | sed 's/^/MENU_/')"
  xdotool mousemove $((MENU_X + MENU_WIDTH / 2)) $((MENU_Y + MENU_HEIGHT / 2)) click 1
  wait_until 5 dialog_open || fail "EXIT asked no question"
}
