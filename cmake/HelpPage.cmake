# Writes the help page OUTPUT from SOURCE with each marker
# "<!-- example PATH -->" replaced by the file PATH (relative to ROOT),
# escaped for HTML, so the page shows the examples exactly as the build
# compiles them. Run as: cmake -DSOURCE=... -DOUTPUT=... -DROOT=... -P HelpPage.cmake
file(READ ${SOURCE} page)
string(REGEX MATCHALL "<!-- example [^ ]+ -->" markers "${page}")
foreach(marker IN LISTS markers)
  string(REGEX REPLACE "<!-- example ([^ ]+) -->" "\\1" path "${marker}")
  file(READ ${ROOT}/${path} example)
  string(REPLACE "&" "&amp;" example "${example}")
  string(REPLACE "<" "&lt;" example "${example}")
  string(REPLACE ">" "&gt;" example "${example}")
  string(REPLACE "${marker}" "${example}" page "${page}")
endforeach()
file(WRITE ${OUTPUT} "${page}")
