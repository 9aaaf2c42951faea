# Removes what `cmake --install` installed, as listed in its manifest:
#   DESTDIR=... cmake -D MANIFEST=build/install_manifest.txt -P cmake/uninstall.cmake
# The manifest holds the paths under the prefix without the DESTDIR, so a
# staged installation is removed with the same DESTDIR in the environment.
# Only the listed files go; folders stay, since the installation may have
# found them already there (/usr/local/bin). A file already gone is noted and
# skipped; a file that cannot be removed is an error. The manifest is removed
# last, so a second run says that nothing is installed.
if(NOT DEFINED MANIFEST)
  message(FATAL_ERROR "uninstall: MANIFEST is not set")
endif()
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "uninstall: no ${MANIFEST}: nothing was installed from this build")
endif()

file(STRINGS "${MANIFEST}" installed_files)
foreach(listed ${installed_files})
  set(installed "$ENV{DESTDIR}${listed}")
  if(EXISTS "${installed}" OR IS_SYMLINK "${installed}")
    message(STATUS "Removing ${installed}")
    file(REMOVE "${installed}")
    if(EXISTS "${installed}" OR IS_SYMLINK "${installed}")
      message(FATAL_ERROR "uninstall: cannot remove ${installed}")
    endif()
  else()
    message(STATUS "Already gone: ${installed}")
  endif()
endforeach()
file(REMOVE "${MANIFEST}")
