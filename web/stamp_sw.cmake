# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the service worker with a cache version named after what the site
# holds, so that a browser that kept an older build takes the new one.
# -DSITE=<site folder> -DTEMPLATE=<sw.js.in>
file(GLOB _files ${SITE}/*)
list(FILTER _files EXCLUDE REGEX "/sw\\.js$")
list(SORT _files)
set(_all "")
foreach(f IN LISTS _files)
  file(SHA256 ${f} _hash)
  string(APPEND _all "${_hash}")
endforeach()
string(SHA256 _version "${_all}")
string(SUBSTRING ${_version} 0 16 SOLVARI_SITE_VERSION)
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
