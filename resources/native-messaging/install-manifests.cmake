# Writes the native-messaging manifests and the bus service file at install time, when
# the prefix (and so the host's absolute path) is known.
# Needs: SRC (this folder), RES (resources/), FIREFOX_DIR, CHROMIUM_DIR (relative to the
# prefix unless absolute).
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(VIREO_HOST_PATH "${CMAKE_INSTALL_PREFIX}/bin/vireo-native-host")
set(VIREO_BINDIR "${CMAKE_INSTALL_PREFIX}/bin")
foreach(pair "firefox.json.in|${FIREFOX_DIR}" "chromium.json.in|${CHROMIUM_DIR}")
  string(REPLACE "|" ";" parts "${pair}")
  list(GET parts 0 template)
  list(GET parts 1 dir)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  set(out "$ENV{DESTDIR}${dir}/org.tarnwell.vireo.json")
  message(STATUS "Installing: ${out}")
  configure_file("${SRC}/${template}" "${out}" @ONLY)
endforeach()
set(out "${root}/share/dbus-1/services/org.tarnwell.Vireo.service")
message(STATUS "Installing: ${out}")
configure_file("${RES}/org.tarnwell.Vireo.service.in" "${out}" @ONLY)
