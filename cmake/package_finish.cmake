# Run by the install step (cpack, or cmake --install) after every file of
# the package is in place.  Given TARNWICK_SOURCE_DIR and TARNWICK_EXE_SUFFIX
# (".exe" or nothing), it writes:
#  - README.md: the source tree's README with its opening block (how to
#    build and test from the source) replaced by how to use the package;
#  - SHA256SUMS: a checksum line for every file installed, as sha256sum
#    writes them, so that `sha256sum -c SHA256SUMS` checks the package.
set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(launcher "tarnwick${TARNWICK_EXE_SUFFIX}")
set(tool "tarnwick-brand${TARNWICK_EXE_SUFFIX}")
if(TARNWICK_EXE_SUFFIX)
  set(example "Demo.exe")
  set(console "
- `tarnwick-console${TARNWICK_EXE_SUFFIX}`: the same launcher as a console
  program, for command-line tools (\"A command-line tool\" below).")
  set(section "\"Shipping an application on Windows\"")
  set(checking "; in PowerShell,
  `Get-FileHash ${launcher}` shows one")
else()
  set(example "Demo")
  set(console "")
  set(section "\"On Linux and macOS\"")
  set(checking "")
endif()

file(READ "${TARNWICK_SOURCE_DIR}/README.md" readme)
string(FIND "${readme}" "\n```sh\n" open)
string(SUBSTRING "${readme}" ${open} -1 rest)
string(FIND "${rest}" "\n```\n" close)
if(open EQUAL -1 OR close EQUAL -1)
  message(FATAL_ERROR "README.md does not open with a fenced block of commands")
endif()
math(EXPR after "${open} + ${close} + 5")
string(SUBSTRING "${readme}" 0 ${open} head)
string(SUBSTRING "${readme}" ${after} -1 tail)
file(WRITE "${prefix}/README.md" "${head}
This package holds tarnwick, ready to ship with a Java application:

- `${launcher}`: the launcher. Copy it beside your application's jars,
  rename it after your application (`${example}`) and write its
  configuration beside it (`${example}` reads `Demo.config`; start from
  `example.config`). ${section} below tells the rest.${console}
- `${tool}`: makes a copy of the launcher with your application's icon
  and name (\"Your application's icon and name\" below).
- `docs/`: the configuration reference and the guides this README links to.
- `SHA256SUMS`: the checksum of every file; `sha256sum -c SHA256SUMS` checks
  them${checking}.
${tail}")

set(files "README.md")
foreach(installed IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  file(RELATIVE_PATH name "${prefix}" "${installed}")
  list(APPEND files "${name}")
endforeach()
list(REMOVE_DUPLICATES files)
list(SORT files)
set(sums "")
foreach(name IN LISTS files)
  file(SHA256 "${prefix}/${name}" hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${prefix}/SHA256SUMS" "${sums}")
