# The stress loop is the measurement. Flags that let the compiler reassociate,
# drop or vectorise its square roots would make the score a lie, so refuse them
# wherever they could come in.
set(_forbiddenFlags
  -ffast-math -Ofast -funsafe-math-optimizations -fassociative-math
  -freciprocal-math -fno-math-errno -march=native)

foreach(_var CMAKE_CXX_FLAGS CMAKE_CXX_FLAGS_RELEASE CMAKE_CXX_FLAGS_RELWITHDEBINFO
             CMAKE_CXX_FLAGS_DEBUG CMAKE_CXX_FLAGS_MINSIZEREL)
  foreach(_flag IN LISTS _forbiddenFlags)
    string(FIND " ${${_var}} " " ${_flag} " _at)
    if(NOT _at EQUAL -1)
      message(FATAL_ERROR "${_var} contains ${_flag}; the benchmark must not be built "
                          "with floating-point shortcuts.")
    endif()
  endforeach()
endforeach()
