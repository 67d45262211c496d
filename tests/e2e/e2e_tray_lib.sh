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

status_window() { xdotool search --onlyvisible --name "^وضعيت" 2>/dev/null | head -1; }
status_open() { [ -n "$(status_window)" ]; }
status_closed() { [ -z "$(status_window)" ]; }
menu_window() { xdotool search --onlyvisible --classname qelto-callerid 2>/dev/null | while read -r w; do
  [ "$w" != "$(icon_window)" ] || continue
  case "$(xdotool getwindowname "$w")" in "پيغام" | "وضعيت"*) continue ;; esac
  echo "$w"; break; done; }
menu_open() { [ -n "$(menu_window)" ]; }

# The menu holds two items of one height: «وضعيت» (the status window) above "EXIT".
open_menu() {  # right click on the icon; the menu's geometry lands in MENU_X, MENU_Y, ...
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
  wait_until 10 menu_open || fail "the right click opened no menu"
  [ -z "${1:-}" ] || shot "$1"
  eval "$(xdotool getwindowgeometry --shell "$(menu_window)" | sed 's/^/MENU_/')"
}
click_menu_item() {  # click_menu_item 1|2: the upper or the lower item
  xdotool mousemove $((MENU_X + MENU_WIDTH / 2)) $((MENU_Y + MENU_HEIGHT * (2 * $1 - 1) / 4)) click 1
}
choose_exit() {  # right click on the icon, then "EXIT" in the menu
  open_menu "${1:-}menu"
  click_menu_item 2
  wait_until 5 dialog_open || fail "EXIT asked no question"
}
choose_status() {  # right click on the icon, then «وضعيت»: the status window is shown
  open_menu "${1:-}"
  click_menu_item 1
  wait_until 5 status_open || fail "«وضعيت» showed no status window"
}
