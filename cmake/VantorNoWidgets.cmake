# SPDX-License-Identifier: MIT
# vantor_no_widgets(<target>): the target may not include a Qt Widgets or Qt Gui header.
# Qt Core's include path reaches <QtWidgets/...> as well, so instead the headers every widget
# and gui header includes first are shadowed by ones that stop the build.
set(VANTOR_NO_WIDGETS_DIR ${CMAKE_CURRENT_LIST_DIR}/nowidgets)

function(vantor_no_widgets target)
    target_include_directories(${target} BEFORE PRIVATE ${VANTOR_NO_WIDGETS_DIR})
endfunction()
