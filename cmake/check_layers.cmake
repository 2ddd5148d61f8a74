# Fails when a module includes a layer above it. The arrows point one way: the numerical
# routines know only themselves and the standard library, the engine only itself, the numerical
# routines and the standard library, and the saving library only itself, the two self-contained
# engine headers it reads, and the system libraries it writes with. Every include of every
# source and header of those modules is read, so what is not listed here fails, whatever the
# include path would have found. Run as
#   cmake -DROOT=<source tree> -P check_layers.cmake
# Every build runs it on the tree (the top CMakeLists.txt); the suite runs it on planted
# includes (tests/layering).

cmake_minimum_required(VERSION 3.25)

# The C++ standard library's headers.
set(standard_library
    algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv
    chrono cinttypes climits clocale cmath codecvt compare complex concepts condition_variable
    coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar
    cwctype deque exception execution filesystem format forward_list fstream functional future
    initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale map
    memory memory_resource mutex new numbers numeric optional ostream queue random ranges ratio
    regex scoped_allocator semaphore set shared_mutex source_location span sstream stack
    stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
    type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector
    version)

set(offences "")

# check_layer(<module> <files> <allowed ours> <allowed system>): every quoted include of the
# files must be one of ours that begins with an entry of <allowed ours> (an entry ending in /
# allows the whole folder, another one header); every include in angle brackets a standard
# header or one of <allowed system>.
function(check_layer module files ours system)
    set(allowed_text ${ours} "the standard library" ${system})
    list(JOIN allowed_text ", " allowed_text)
    foreach(file IN LISTS files)
        # One list entry a line: the characters CMake's lists treat specially are taken out.
        file(READ ${file} text)
        string(REGEX REPLACE "[][;\\]" "_" text "${text}")
        string(REPLACE "\n" ";" lines "${text}")
        set(number 0)
        foreach(line IN LISTS lines)
            math(EXPR number "${number} + 1")
            if(NOT line MATCHES "^[ \t]*#[ \t]*include")
                continue()
            endif()
            set(allowed FALSE)
            string(STRIP "${line}" directive)
            if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
                set(header ${CMAKE_MATCH_1})
                set(directive "#include \"${header}\"")
                set(entries ${ours})
                # A path that climbs out of a folder could reach any layer.
                if(header MATCHES "(^|/)\\.\\.(/|$)" OR header MATCHES "^/")
                    set(entries "")
                endif()
                foreach(entry IN LISTS entries)
                    string(LENGTH "${entry}" length)
                    string(SUBSTRING "${header}" 0 ${length} start)
                    if((entry MATCHES "/$" AND start STREQUAL entry) OR header STREQUAL entry)
                        set(allowed TRUE)
                    endif()
                endforeach()
            elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
                set(directive "#include <${CMAKE_MATCH_1}>")
                if(CMAKE_MATCH_1 IN_LIST standard_library OR CMAKE_MATCH_1 IN_LIST system)
                    set(allowed TRUE)
                endif()
            endif()
            if(NOT allowed)
                file(RELATIVE_PATH name ${ROOT} ${file})
                list(APPEND offences
                     "${name}:${number}: ${directive}: ${module} may include only ${allowed_text}")
            endif()
        endforeach()
    endforeach()
    set(offences "${offences}" PARENT_SCOPE)
endfunction()

function(sources_of folder out)
    file(GLOB_RECURSE found ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
    list(SORT found)
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

sources_of(Stillo/numeric numeric)
sources_of(Stillo/engine engine)
sources_of(tiler2 tiler2)
set(read_by_tiler2 engine/mosaic_params.h engine/pixel444.h)
set(engine_read_by_tiler2 "")
foreach(header IN LISTS read_by_tiler2)
    list(REMOVE_ITEM engine ${ROOT}/Stillo/${header})
    if(EXISTS ${ROOT}/Stillo/${header})
        list(APPEND engine_read_by_tiler2 ${ROOT}/Stillo/${header})
    endif()
endforeach()

# numeric_error ends the process through _exit.
check_layer("the numerical routines" "${numeric}" "numeric/" "unistd.h")
# immintrin.h: the kernels' lanes.
check_layer("the engine" "${engine}" "engine/;numeric/" "immintrin.h")
# The saving library reads these without linking the engine, so they include nothing of ours.
check_layer("an engine header the saving library reads" "${engine_read_by_tiler2}" "" "")
check_layer("the saving library" "${tiler2}" "tiler2/;${read_by_tiler2}"
            "jpeglib.h;jerror.h;sys/stat.h")

list(LENGTH offences count)
if(count GREATER 0)
    foreach(offence IN LISTS offences)
        message(NOTICE "${offence}")
    endforeach()
    message(FATAL_ERROR "${count} includes reach above their layer.")
endif()
