# The Debian package, built and checked by lintian and appstreamcli (scripts/package).
# It builds the whole project again: label "package", which CI runs on its own.
add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/scripts/package)
set_tests_properties(package PROPERTIES LABELS package TIMEOUT 3600 RUN_SERIAL TRUE
  ENVIRONMENT "MURMEL_BUILD_DIR=${CMAKE_BINARY_DIR}/deb;MURMEL_PACKAGE_BOOTSTRAP=no")
