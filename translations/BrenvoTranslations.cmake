# The desktop program's catalogues: translations/brenvo_LANG.ts, brought up to
# date with the sources by scripts/update-translations.sh (lupdate), compiled
# here by lrelease and built into the program as :/i18n/brenvo_LANG.qm.
# A new language is added to this list once its catalogue is translated.
set(BRENVO_LANGUAGES de fr es)

# Debian's qt6-l10n-tools installs them under Qt's own bin folder.
set(_brenvo_qt_bin_hints /usr/lib/qt6/bin)
if(QT6_INSTALL_PREFIX AND QT6_INSTALL_BINS)
  list(PREPEND _brenvo_qt_bin_hints ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS})
endif()
find_program(BRENVO_LRELEASE NAMES lrelease lrelease-qt6 HINTS ${_brenvo_qt_bin_hints} REQUIRED)
find_program(BRENVO_LUPDATE NAMES lupdate lupdate-qt6 HINTS ${_brenvo_qt_bin_hints} REQUIRED)

# brenvo_add_translations(TARGET): the compiled catalogues as resources of TARGET.
function(brenvo_add_translations target)
  set(qm_files)
  foreach(language IN LISTS BRENVO_LANGUAGES)
    set(ts ${PROJECT_SOURCE_DIR}/translations/brenvo_${language}.ts)
    set(qm ${CMAKE_CURRENT_BINARY_DIR}/i18n/brenvo_${language}.qm)
    add_custom_command(OUTPUT ${qm}
      COMMAND ${BRENVO_LRELEASE} -silent ${ts} -qm ${qm}
      DEPENDS ${ts}
      COMMENT "Compiling the ${language} catalogue"
      VERBATIM)
    list(APPEND qm_files ${qm})
  endforeach()
  qt_add_resources(${target} brenvo_translations PREFIX /i18n BASE ${CMAKE_CURRENT_BINARY_DIR}/i18n FILES ${qm_files})
endfunction()

# Brings the catalogues up to date with the sources (new texts unfinished).
add_custom_target(update-translations
  COMMAND ${CMAKE_COMMAND} -E env LUPDATE=${BRENVO_LUPDATE} bash ${PROJECT_SOURCE_DIR}/scripts/update-translations.sh
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  USES_TERMINAL)
