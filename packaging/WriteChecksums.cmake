# Writes SHA256SUMS.txt over every file of the installed tree, one
# "<sha256>  <path>" line each, paths relative to the tree with forward
# slashes, sorted: what sha256sum -c checks.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
list(REMOVE_ITEM files SHA256SUMS.txt)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 "${root}/${file}" hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE "${root}/SHA256SUMS.txt" "${sums}")
message(STATUS "Checksums: ${root}/SHA256SUMS.txt")
