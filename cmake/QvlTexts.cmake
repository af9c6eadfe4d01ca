# qvl_add_texts(<target> TABLES <file.tsv>... [EDITION SmsPhone|Tavix|ContactsPlugin])
#
# Compiles the text tables (messages, menus, dialog texts) into <target> and links the language
# routines (qvl_lang). Each binary gets exactly one table; relative file names are looked up in
# the calling folder, then in texts/. EDITION picks the install-key row FindMainProgram uses
# (default SmsPhone). A table error (bad escape, duplicate id, missing English text) fails the
# build with the file and line.
function(qvl_add_texts target)
    cmake_parse_arguments(X "" "EDITION" "TABLES" ${ARGN})
    if(NOT X_TABLES)
        message(FATAL_ERROR "qvl_add_texts(${target}): no TABLES given")
    endif()
    if(NOT X_EDITION)
        set(X_EDITION SmsPhone)
    endif()
    if(NOT X_EDITION MATCHES "^(SmsPhone|Tavix|ContactsPlugin)$")
        message(FATAL_ERROR "qvl_add_texts(${target}): unknown EDITION ${X_EDITION}")
    endif()
    get_target_property(done ${target} QVL_TEXTS_ADDED)
    if(done)
        message(FATAL_ERROR "qvl_add_texts(${target}): a binary links exactly one text table")
    endif()
    set_target_properties(${target} PROPERTIES QVL_TEXTS_ADDED ON)

    set(files)
    foreach(t IN LISTS X_TABLES)
        if(IS_ABSOLUTE "${t}")
            set(f "${t}")
        elseif(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${t}")
            set(f "${CMAKE_CURRENT_SOURCE_DIR}/${t}")
        else()
            set(f "${PROJECT_SOURCE_DIR}/texts/${t}")
        endif()
        if(NOT EXISTS "${f}")
            message(FATAL_ERROR "qvl_add_texts(${target}): table ${t} not found")
        endif()
        list(APPEND files "${f}")
    endforeach()

    set(out "${CMAKE_CURRENT_BINARY_DIR}/qvl_texts_${target}.cpp")
    add_custom_command(
        OUTPUT "${out}"
        COMMAND qvl_textgen "${out}" ${X_EDITION} ${files}
        DEPENDS qvl_textgen ${files}
        COMMENT "Generating the text table of ${target}"
        VERBATIM)
    target_sources(${target} PRIVATE "${out}")
    target_link_libraries(${target} PRIVATE qvl_lang)
endfunction()
