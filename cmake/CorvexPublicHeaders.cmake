# The public headers: what a program is meant to include, installed into include/corvex and,
# in a shared library, the only declarations it exports. Every header of the framework's
# folders is public except platform code (the sdl2/ and posix/ subfolders), the platform seams
# (*Platform.h) and the OpenGL drivers' internals listed here. No public header may include a
# private one (tests/install compiles the installed tree alone).
set(CORVEX_MODULE_DIRS runtime startup stream data util process pixmap system graphics vex2d fonts pac audio net)
set(CORVEX_PRIVATE_HEADERS
  graphics/GLCheck.h           # debug-build GL error checks inside the drivers
  vex2d/GLFunctions.h          # OpenGL entry points beyond 1.1, looked up at run time
  vex2d/GLQuadBatch.h          # the batch of textured quads (FlushGLDrawing is its public face)
  vex2d/GLRenderTarget.h       # render images' textures and framebuffers (RenderTarget.h is public)
  vex2d/GLShader.h             # the driver's side of shaders (Shader.h is public)
  vex2d/GLVertexPlacement.h)   # the driver's copy of the renderer matrix

set(CORVEX_PUBLIC_HEADERS)
foreach(dir ${CORVEX_MODULE_DIRS})
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${dir}/*.h)
  foreach(header ${headers})
    if(header MATCHES "/(sdl2|posix)/" OR header MATCHES "Platform\\.h$" OR header IN_LIST CORVEX_PRIVATE_HEADERS)
      continue()
    endif()
    list(APPEND CORVEX_PUBLIC_HEADERS ${header})
  endforeach()
endforeach()
list(SORT CORVEX_PUBLIC_HEADERS)

# corvex/Version.h, generated, and CorvexVersion() behind it.
configure_file(${PROJECT_SOURCE_DIR}/cmake/Version.h.in ${PROJECT_BINARY_DIR}/include/corvex/Version.h @ONLY)
target_sources(corvex PRIVATE ${PROJECT_SOURCE_DIR}/startup/Version.cpp)

# A shared library exports the public headers' declarations and nothing else. Every source is
# compiled with hidden visibility and first sees every public header under default visibility
# (a declaration's visibility carries over to its definition), so the exported set follows the
# installed set without a mark on each declaration.
if(BUILD_SHARED_LIBS)
  set(prelude "// Generated: the public declarations, exported by the shared library.\n")
  string(APPEND prelude "#pragma GCC visibility push(default)\n")
  foreach(header ${CORVEX_PUBLIC_HEADERS} corvex/Version.h)
    string(APPEND prelude "#include \"${header}\"\n")
  endforeach()
  string(APPEND prelude "#pragma GCC visibility pop\n")
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/CorvexExports.h CONTENT "${prelude}")
  set_target_properties(corvex PROPERTIES
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    VERSION ${PROJECT_VERSION}
    # Before 1.0 every minor version may change the interface.
    SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  target_compile_options(corvex PRIVATE
    "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${PROJECT_BINARY_DIR}/CorvexExports.h>")
endif()
