# Reads a Wayland protocol log of the game (WAYLAND_DEBUG=client) and checks
# what the compositor was told about modal dialogs. Prints "FAIL: ..." for
# each fault and exits 1 when there was one.
#
#   -v expect=modal  every toplevel but the main window is marked modal
#                    (gtk_surface1.set_modal, or xdg_dialog_v1.set_modal)
#                    before its first buffer, that is before the compositor
#                    places and shows it; a dialog that comes after the main
#                    window is transient for it; the main window is not
#                    marked modal
#   -v expect=none   nothing asks for a modal mark at all (a compositor that
#                    offers no way to say it)
#   -v main_index=N  the main window is the Nth toplevel (default 1; 2 where
#                    a box comes before it)
#   -v dialogs=N     so many dialogs must come and go (default: any number)
#   -v pointer=1     the pointer stood on the main window (its last enter
#                    event, with no leave since) when each dialog closed
#   -v menus=TITLE   toplevels with this title are menus (shown without a
#                    click of a real seat, they are toplevels named by the
#                    program), not dialogs
function fail(text) { print "FAIL: " text; bad = 1 }
function id(pattern) { match($0, pattern); return substr($0, RSTART, RLENGTH) }
# The object a request goes to; the time stamp before it varies in width.
function target(kind,   found) { found = id("-> " kind "@[0-9]+\\."); return substr(found, 4, length(found) - 4) }
# The object named as the last argument of a request.
function last_arg(kind,   found) { found = id(kind "@[0-9]+\\)"); return substr(found, 1, length(found) - 1) }
BEGIN { if (main_index == "") main_index = 1 }
# Object ids are reused once an object is gone, so each is followed from its
# creation on.
/-> xdg_wm_base@[0-9]+\.get_xdg_surface\(/ { surface_of[id("xdg_surface@[0-9]+")] = last_arg("wl_surface") }
/-> xdg_surface@[0-9]+\.get_toplevel\(/ {
  t = id("xdg_toplevel@[0-9]+"); s = surface_of[target("xdg_surface")]
  if (++toplevels == main_index) { main = t; main_surface = s }
  toplevel_of[s] = t; parent[t] = ""; title[t] = ""; modal[t] = 0; late[t] = 0; mapped[t] = 0; alive[t] = 1
}
/-> xdg_toplevel@[0-9]+\.set_parent\(/ { parent[target("xdg_toplevel")] = last_arg("xdg_toplevel") }
/-> xdg_toplevel@[0-9]+\.set_title\(/ { t = target("xdg_toplevel"); title[t] = substr($0, index($0, "set_title(\"") + 11); sub(/"\)$/, "", title[t]) }
/-> gtk_shell1@[0-9]+\.get_gtk_surface\(/ { ++asked; toplevel_for[id("gtk_surface1@[0-9]+")] = toplevel_of[last_arg("wl_surface")] }
/-> xdg_wm_dialog_v1@[0-9]+\.get_xdg_dialog\(/ { ++asked; toplevel_for[id("xdg_dialog_v1@[0-9]+")] = last_arg("xdg_toplevel") }
/-> (gtk_surface1|xdg_dialog_v1)@[0-9]+\.set_modal\(\)/ {
  ++asked; k = id("(gtk_surface1|xdg_dialog_v1)@[0-9]+"); t = toplevel_for[k]
  if (t == "") fail("set_modal on " k ", which belongs to no toplevel")
  else if (mapped[t]) late[t] = 1
  else modal[t] = 1
}
# The first buffer is the window's first picture.
/-> wl_surface@[0-9]+\.attach\(wl_buffer@/ { s = target("wl_surface"); if (s in toplevel_of) mapped[toplevel_of[s]] = 1 }
# The compositor keeps a click on a window whose modal dialog is up to
# itself: that the pointer stood on the main window shows in the enter event
# that put it there.
/[^>] wl_pointer@[0-9]+\.enter\(/ { pointer_on = id("wl_surface@[0-9]+") }
/[^>] wl_pointer@[0-9]+\.leave\(/ { pointer_on = "" }
/-> xdg_toplevel@[0-9]+\.destroy\(\)/ { t = target("xdg_toplevel"); check(t); alive[t] = 0 }
function check(t) {
  if (t == main) {
    if (modal[t] || late[t]) fail("the main window " t " was marked modal")
    return
  }
  if (menus != "" && title[t] == menus) {
    if (modal[t] || late[t]) fail("a menu, " t ", was marked modal")
    return
  }
  ++seen
  if (expect != "modal")
    return
  # A box that comes before the main window has no parent to name.
  if (main != "" && parent[t] != main) fail(t " is transient for \"" parent[t] "\", not for the main window " main)
  if (!modal[t]) fail(t " was not marked modal before its first picture" (late[t] ? " (only after it)" : ""))
  if (pointer && main != "" && pointer_on != main_surface) fail("the pointer was not on the main window when " t " closed")
}
END {
  # Windows still up when the log ends (the program was stopped) too.
  for (t in alive) if (alive[t]) check(t)
  if (expect == "none" && asked) fail(asked " requests asked a compositor that offers no way for a modal mark")
  if (dialogs != "" && seen != dialogs) fail(seen " dialogs came and went, not " dialogs)
  exit bad
}
