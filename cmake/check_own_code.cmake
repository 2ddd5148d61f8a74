# Fails when an object file defines a function that code outside it could call or the linker
# could pick for others: a global or weak function. Run as
#   cmake -DNM=<nm> -DOBJECTS=<object;...> -P check_own_code.cmake
# The engine runs it on its AVX2 kernels: compiled with instructions that not every processor
# has, they must keep every function to themselves, or the linker could hand an inline function
# compiled there to code that runs everywhere.
foreach(object IN LISTS OBJECTS)
    execute_process(COMMAND ${NM} --defined-only --extern-only --format=posix ${object}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${NM} could not read ${object}")
    endif()
    string(REPLACE "\n" ";" symbols "${symbols}")
    set(shared "")
    foreach(line IN LISTS symbols)
        # name, type, value, size; T: a global function, W: a weak one, i: an indirect one,
        # u: a unique global.
        if(line MATCHES "^([^ ]+) ([TWiu]) ")
            list(APPEND shared "  ${CMAKE_MATCH_1}")
        endif()
    endforeach()
    if(shared)
        list(JOIN shared "\n" shared)
        message(FATAL_ERROR "${object} defines functions other code could end up running:\n"
                            "${shared}\nKeep kernel code in an anonymous namespace and call no "
                            "inline function from outside the kernel headers.")
    endif()
endforeach()
