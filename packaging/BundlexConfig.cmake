# BundlexConfig.cmake - find_package(Bundlex) gives the imported target Bundlex::bundlex (libbundlex.so and bundlex.h).
include(${CMAKE_CURRENT_LIST_DIR}/BundlexTargets.cmake)
