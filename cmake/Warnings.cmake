# Common warning flags; -Werror when ONVIF_WERROR is on (CI and the test command).
function(onvif_set_warnings target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wformat=2>
    $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wshadow -Wformat=2 -Wstrict-prototypes>)
  if(ONVIF_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(ONVIF_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
