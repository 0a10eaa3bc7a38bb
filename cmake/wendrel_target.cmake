# What each of our own targets asks of the compiler, written once.

# Warnings for our code (never for the libraries built from source beside
# it, such as GoogleTest for Windows). A designated initializer names only
# the fields that matter: the others keep their defaults on purpose.
function(wendrel_warnings)
  foreach(t IN LISTS ARGN)
    target_compile_options(${t} PRIVATE
      "$<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall;-Wextra;-Wno-missing-field-initializers>"
      "$<$<COMPILE_LANG_AND_ID:C,GNU,Clang>:-Wall;-Wextra>")
  endforeach()
endfunction()

# The Windows headers as our Windows files expect them: the wide functions,
# no min and max macros, nothing older than Windows 7.
# wendrel_win32_defines(TARGET PRIVATE|PUBLIC)
function(wendrel_win32_defines target scope)
  target_compile_definitions(${target} ${scope}
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endfunction()
