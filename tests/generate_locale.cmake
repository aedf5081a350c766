# Generates the French locale the tests set (fr_FR.UTF-8) into a folder of the build tree, so that
# the French runs need no write access to the system's locale archive.
# Usage: cmake -DLOCALE_DIR=<folder> -P generate_locale.cmake
set(target "${LOCALE_DIR}/fr_FR.UTF-8")
if(EXISTS "${target}/LC_NUMERIC")
  return()
endif()
find_program(LOCALEDEF localedef REQUIRED)
if(NOT EXISTS /usr/share/i18n/locales/fr_FR)
  message(FATAL_ERROR "The locale sources are missing: install the package 'locales' (scripts/deps).")
endif()
file(MAKE_DIRECTORY "${LOCALE_DIR}")
# localedef exits with 1 on mere warnings; the generated files are what counts.
execute_process(COMMAND "${LOCALEDEF}" --no-archive -c -i fr_FR -f UTF-8 "${target}"
                RESULT_VARIABLE result)
if(NOT EXISTS "${target}/LC_NUMERIC")
  message(FATAL_ERROR "localedef could not generate ${target} (exit ${result}).")
endif()
