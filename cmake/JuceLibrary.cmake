# One static library holding the JUCE modules that Tarrowby uses, with the
# framework settings made public so that every user compiles with the same ones.
function(tarrowby_add_juce_library target)
    add_library(${target} STATIC)

    target_link_libraries(${target}
        PRIVATE
            juce::juce_audio_utils
            juce::juce_audio_processors
            juce::juce_audio_devices
            juce::juce_audio_basics
            juce::juce_gui_extra
            juce::juce_gui_basics
            juce::juce_graphics
            juce::juce_data_structures
            juce::juce_events
            juce::juce_core
        PUBLIC
            juce::juce_recommended_config_flags
            juce::pkgconfig_JUCE_IMG_LINUX_DEPS)

    target_compile_definitions(${target}
        PUBLIC
            JUCE_USE_FLAC=0
            JUCE_USE_OGGVORBIS=0
            JUCE_WEB_BROWSER=0
            JUCE_USE_CURL=0
            JUCE_JACK=1
            JUCE_ALSA=1
            JUCE_DISPLAY_SPLASH_SCREEN=0
            JUCE_REPORT_APP_USAGE=0
            JUCE_STANDALONE_APPLICATION=1
            JUCE_MODAL_LOOPS_PERMITTED=1)

    # Assertions are logged (and turned into test failures by the test main)
    # whenever the build is not a release build.
    target_compile_definitions(${target} PUBLIC
        $<$<NOT:$<CONFIG:Release>>:JUCE_LOG_ASSERTIONS=1>)

    # The framework copies empty memory blocks with memcpy (nullptr, nullptr, 0),
    # for instance whenever a URL is assigned: keep that one check out of its sources.
    if(TARROWBY_SANITIZERS MATCHES "undefined")
        target_compile_options(${target} PRIVATE -fno-sanitize=nonnull-attribute)
    endif()

    target_include_directories(${target}
        INTERFACE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target}
        INTERFACE $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)

    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        VISIBILITY_INLINES_HIDDEN ON
        C_VISIBILITY_PRESET hidden
        CXX_VISIBILITY_PRESET hidden)
endfunction()
