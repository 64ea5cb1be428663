# installer_delay_load(<target> <dll> <def file>): <target> calls the DLL's functions listed in
# the .def file, and the DLL is loaded on first use through loader/ (by full path from the system
# folder), never by the loader at start-up, when it would look beside the exe first.
function(installer_delay_load target dll def)
    # The hooks are data the delay-load helper reads: required here, so that loader/'s
    # definitions are taken instead of the runtime's empty defaults.
    target_link_libraries(${target} PUBLIC system_library)
    if(MSVC)
        target_link_libraries(${target} PUBLIC delayimp)
        target_link_options(${target} PUBLIC /DELAYLOAD:${dll} /INCLUDE:__pfnDliNotifyHook2
                            /INCLUDE:__pfnDliFailureHook2)
        get_filename_component(stem ${dll} NAME_WE)
        target_link_libraries(${target} PUBLIC ${stem})
    else()
        find_program(INSTALLER_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
        get_filename_component(stem ${dll} NAME_WE)
        set(delaylib ${CMAKE_CURRENT_BINARY_DIR}/lib${stem}-delay.a)
        add_custom_command(OUTPUT ${delaylib}
            COMMAND ${INSTALLER_DLLTOOL} --input-def ${def} --dllname ${dll}
                    --output-delaylib ${delaylib}
            DEPENDS ${def}
            COMMENT "Delay-load import library for ${dll}")
        add_custom_target(${stem}-delaylib DEPENDS ${delaylib})
        add_dependencies(${target} ${stem}-delaylib)
        target_link_libraries(${target} PUBLIC ${delaylib})
        target_link_options(${target} PUBLIC -Wl,--require-defined=__pfnDliNotifyHook2
                            -Wl,--require-defined=__pfnDliFailureHook2)
    endif()
endfunction()
